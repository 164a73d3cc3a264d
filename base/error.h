// The one error type of picsheet: an exception that carries the finished, user-facing message.
#pragma once

#include <stdexcept>

namespace picsheet {

// Raised wherever a run cannot go on; caught only where a run starts (the command line's main,
// the window's run slot), which show what() to the user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace picsheet
