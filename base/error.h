// The one error type of picsheet: an exception that carries the finished, user-facing message,
// and for the user who has to act on it, the cause in words and the picture it concerns.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace picsheet {

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
  explicit Error(const std::string& message, std::string reason = {})
      : std::runtime_error(message), reason_(std::move(reason)) {}

  // Why, in words: the server's answer, libcurl's or libjpeg's own text, the system's error.
  // Empty when the message says it all.
  const std::string& reason() const noexcept { return reason_; }
  void SetReason(std::string reason) { reason_ = std::move(reason); }

  // The picture the failure arose at; empty outside picture work.
  const std::optional<PictureContext>& picture() const noexcept { return picture_; }
  void SetPicture(PictureContext picture) { picture_ = std::move(picture); }

  // True when the failure means only that one picture could not be had (its download failed,
  // its answer is no JPEG, it cannot be decoded); false when it concerns the run as a whole
  // (the output cannot be written, memory ran out, the run was interrupted). A run told to keep
  // going leaves such a picture out and carries on.
  bool undelivered() const noexcept { return undelivered_; }
  void SetUndelivered(bool undelivered) { undelivered_ = undelivered; }

 private:
  std::string reason_;
  std::optional<PictureContext> picture_;
  bool undelivered_ = false;
};

}  // namespace picsheet
