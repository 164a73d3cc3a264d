// Deriving, filtering and converting save names.
#include "app/core/session_name.h"

#include "base/error.h"
#include "base/messages.h"
#include "base/windows1251.h"
#include "convert/source.h"

namespace picsheet {

std::string FilterSessionName(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (c == '-' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
        (c >= 'a' && c <= 'z')) {
      name += c;
    }
  }
  return name;
}

std::string DeriveSessionName(const std::string& source) {
  // In a link "/" belongs to the name ("http://host/list/page7.htm" gives "hostlistpage7htm");
  // in a path it ends a folder's name as "\\" does.
  const std::size_t separator = source.find_last_of(IsLink(source) ? "\\:" : "\\:/");
  return FilterSessionName(separator == std::string::npos ? source : source.substr(separator + 1));
}

std::string SaveNameFromUserText(const std::string& typed) {
  if (!IsValidUtf8(typed)) return typed;
  Windows1251Encoding encoded = EncodeWindows1251(typed);
  if (!encoded.refused.empty())
    throw Error(ErrorKind::kSaveName, messages::NotInWindows1251(typed, encoded.refused));
  return std::move(encoded.bytes);
}

}  // namespace picsheet
