#include "app/core/session_name.h"

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
  const std::size_t separator = source.find_last_of("\\:");
  return FilterSessionName(separator == std::string::npos ? source : source.substr(separator + 1));
}

}  // namespace picsheet
