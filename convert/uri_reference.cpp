// Parsing, resolving and joining URI references by RFC 3986.
#include "convert/uri_reference.h"

#include "base/ascii.h"

namespace picsheet {
namespace {

bool IsSchemeName(std::string_view name) {
  if (name.empty() || !IsAsciiLetter(name[0])) return false;
  for (char c : name) {
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return true;
}

// Section 5.2.3: the reference's path put in place of the base path's last segment.
std::string MergePaths(const UriReference& base, const std::string& referencePath) {
  if (base.authority && base.path.empty()) return "/" + referencePath;
  const std::size_t slash = base.path.rfind('/');
  if (slash == std::string::npos) return referencePath;
  return base.path.substr(0, slash + 1) + referencePath;
}

// Drops the last segment of output and the "/" before it.
void DropLastSegment(std::string& output) {
  const std::size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

UriReference ParseUriReference(std::string_view text) {
  UriReference parts;
  // ^(([^:/?#]+):)?(//([^/?#]*))?([^?#]*)(\?([^#]*))?(#(.*))?
  const std::size_t fragment = text.find('#');
  if (fragment != std::string_view::npos) {
    parts.fragment = std::string(text.substr(fragment + 1));
    text = text.substr(0, fragment);
  }
  const std::size_t query = text.find('?');
  if (query != std::string_view::npos) {
    parts.query = std::string(text.substr(query + 1));
    text = text.substr(0, query);
  }
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon < text.find('/') &&
      IsSchemeName(text.substr(0, colon))) {
    parts.scheme = std::string(text.substr(0, colon));
    text = text.substr(colon + 1);
  }
  if (text.substr(0, 2) == "//") {
    const std::size_t end = text.find('/', 2);
    parts.authority = std::string(text.substr(2, end == std::string_view::npos ? end : end - 2));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  parts.path = std::string(text);
  return parts;
}

std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../") {
      input.remove_prefix(3);
      DropLastSegment(output);
    } else if (input == "/..") {
      input = "/";
      DropLastSegment(output);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      // The first segment, with its leading "/" if any, up to the next "/".
      const std::size_t end = input.find('/', input[0] == '/' ? 1 : 0);
      const std::size_t length = end == std::string_view::npos ? input.size() : end;
      output.append(input.substr(0, length));
      input.remove_prefix(length);
    }
  }
  return output;
}

UriReference ResolveUriReference(const UriReference& base, const UriReference& reference) {
  UriReference target;
  if (reference.scheme) {
    target.scheme = reference.scheme;
    target.authority = reference.authority;
    target.path = RemoveDotSegments(reference.path);
    target.query = reference.query;
  } else {
    if (reference.authority) {
      target.authority = reference.authority;
      target.path = RemoveDotSegments(reference.path);
      target.query = reference.query;
    } else {
      if (reference.path.empty()) {
        target.path = base.path;
        target.query = reference.query ? reference.query : base.query;
      } else {
        target.path = RemoveDotSegments(
            reference.path[0] == '/' ? reference.path : MergePaths(base, reference.path));
        target.query = reference.query;
      }
      target.authority = base.authority;
    }
    target.scheme = base.scheme;
  }
  target.fragment = reference.fragment;
  return target;
}

std::string ComposeUriReference(const UriReference& reference) {
  std::string result;
  if (reference.scheme) result += *reference.scheme + ":";
  if (reference.authority) result += "//" + *reference.authority;
  result += reference.path;
  if (reference.query) result += "?" + *reference.query;
  if (reference.fragment) result += "#" + *reference.fragment;
  return result;
}

}  // namespace picsheet
