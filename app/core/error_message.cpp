// The failure lines and display messages: picture, address and reason in words.
#include "app/core/error_message.h"

#include <cstdio>

#include "base/messages.h"
#include "base/url_credentials.h"
#include "base/windows1251.h"
#include "convert/source.h"

namespace picsheet {
namespace {

// Control bytes would end or garble a terminal line; a NUL would cut the text short.
std::string Printable(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string MessageForDisplay(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

std::string SourceForDisplay(const std::string& source) {
  return IsLink(source) ? WithoutPassword(WithoutLinkBlanks(source)) : source;
}

std::string DescribeFailure(const Error& error) {
  std::string line;
  if (const auto& picture = error.picture()) {
    // The number text and the address are the page's bytes, Windows-1251 in a Russian catalogue.
    line = "picture \"" + Printable(Utf8OrWindows1251(picture->numberText)) + "\" #" +
           std::to_string(picture->index) +
           (picture->cell > 0 ? " in cell " + std::to_string(picture->cell) : " (held back)") +
           ", " + Printable(Utf8OrWindows1251(WithoutPassword(picture->address)));
  }
  if (!error.reason().empty()) {
    if (!line.empty()) line += ": ";
    line += Printable(error.reason());
  }
  return line;
}

Error OutOfMemoryError() {
  return Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
               "the system could not give the run more memory");
}

}  // namespace picsheet
