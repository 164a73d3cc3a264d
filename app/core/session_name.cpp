// Deriving, filtering and converting save names.
#include "app/core/session_name.h"

#include "base/error.h"
#include "base/messages.h"
#include "base/url_credentials.h"
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
  const bool link = IsLink(source);
  std::string text = source;
  // A link's password never names a file: "http://user:pw@host/list.htm" is named as if it were
  // "http://user:@host/list.htm", "hostlisthtm".
  if (const auto span = FindUserInfo(source); link && span && span->password != std::string::npos)
    text.erase(span->password, span->at - span->password);
  const std::size_t separator = text.find_last_of(link ? "\\:" : "\\:/");
  return FilterSessionName(separator == std::string::npos ? text : text.substr(separator + 1));
}

std::string SaveNameFromUserText(const std::string& typed) {
  if (!IsValidUtf8(typed)) return typed;
  Windows1251Encoding encoded = EncodeWindows1251(typed);
  if (!encoded.refused.empty())
    throw Error(ErrorKind::kSaveName, messages::NotInWindows1251(typed, encoded.refused));
  return std::move(encoded.bytes);
}

}  // namespace picsheet
