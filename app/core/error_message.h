// The text a user is shown for an error, the same in the window's message box and on the CLI.
#pragma once

#include <string>

#include "base/error.h"

namespace picsheet {

// The message with a full stop appended when its last byte's code is above that of "." (46):
// "Cannot open URL x" gets one, "... (x)" or "...!" does not; the empty message stays empty.
std::string MessageForDisplay(std::string message);

// What the user needs besides the message to act on a failure, as one line: the picture it
// concerns (number text, index, cell, address) and the reason in words, e.g.
//   picture "12" #1 in cell 7, http://host/a.jpg: the server answered 404 Not Found with text/html
// An address's password is left out. The number text and the address are shown as UTF-8 (read as
// Windows-1251 unless they are valid UTF-8 already); bytes that cannot be shown (NUL and other
// control bytes) appear as \xNN. Empty when the error carries neither a picture nor a reason.
std::string DescribeFailure(const Error& error);

// A source as the lines about it name it: a link without the blanks around it and without its
// password, a file path as given.
std::string SourceForDisplay(const std::string& source);

// The error a run ends with when an allocation failed outside picsheet's own checks: "Out of
// memory", with a reason saying so.
Error OutOfMemoryError();

}  // namespace picsheet
