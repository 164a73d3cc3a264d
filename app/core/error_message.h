// The text a user is shown for an error, the same in the window's message box and on the CLI.
#pragma once

#include <string>

namespace picsheet {

// The message with a full stop appended when its last byte's code is above that of "." (46):
// "Cannot open URL x" gets one, "... (x)" or "...!" does not; the empty message stays empty.
std::string MessageForDisplay(std::string message);

}  // namespace picsheet
