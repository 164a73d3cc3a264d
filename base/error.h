// The one error type of picsheet: an exception that carries the finished, user-facing message, its
// kind as a value, and for the user who has to act on it, the cause in words and the picture it
// concerns.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/messages.h"

namespace picsheet {

// What went wrong, for code that must react to it; the message is for people only.
enum class ErrorKind {
  kOther,            // a failure with no handling of its own (a PDF, a print job, a usage slip)
  kHttpUnavailable,  // no HTTP handle could be made
  kFetch,            // a page or picture could not be read from its address or file
  kJpeg,             // a picture's bytes are no JPEG stream libjpeg can read or decode
  kEmptyPicture,     // an empty picture where its size had to fix the printed height
  kOutput,           // the page or a picture cannot be written where it belongs
  kOutOfMemory,      // memory ran out, or an answer is larger than a download may use
  kInterrupted,      // the user stopped the run
  kBusyName,         // another run is saving the same name in the same folder
  kSaveName,         // a typed save name the pages' code page cannot hold
  kNoCatalogue,      // the source page holds no catalogue (a log-in page, an empty answer)
};

// The picture of the catalogue a failure concerns.
struct PictureContext {
  std::string numberText;  // the number text of its source cell, as in the page
  int index = 0;           // its index within its number: 1 for the first, 2 for a repeat, ...
  int cell = 0;            // the output cell it goes into, counted from 1; 0 when held back
  std::string address;     // the picture's address as in the page
};

// Raised wherever a run cannot go on; caught only where a run starts (the command line's main,
// the window's run slot), which show what() to the user. what() is the designed message alone.
class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message, std::string reason = {})
      : std::runtime_error(message), kind_(kind), reason_(std::move(reason)) {}

  ErrorKind kind() const noexcept { return kind_; }

  // Why, in words: the server's answer, the HTTP library's or libjpeg's own text, the system's error.
  // Empty when the message says it all.
  const std::string& reason() const noexcept { return reason_; }
  void SetReason(std::string reason) { reason_ = std::move(reason); }

  // The picture the failure arose at; empty outside picture work.
  const std::optional<PictureContext>& picture() const noexcept { return picture_; }
  void SetPicture(PictureContext picture) { picture_ = std::move(picture); }

  // True when the failure means only that one picture could not be had (its download failed,
  // its answer is no JPEG, it cannot be decoded, it is empty); false when it concerns the run as
  // a whole (the output cannot be written, memory ran out, the run was stopped). A run told to
  // keep going leaves such a picture out and carries on.
  bool undelivered() const noexcept {
    return kind_ == ErrorKind::kFetch || kind_ == ErrorKind::kJpeg ||
           kind_ == ErrorKind::kEmptyPicture;
  }

 private:
  ErrorKind kind_;
  std::string reason_;
  std::optional<PictureContext> picture_;
};

// The error of a run that was stopped: "Interrupted".
inline Error InterruptedError() { return Error(ErrorKind::kInterrupted, messages::kInterrupted); }

}  // namespace picsheet
