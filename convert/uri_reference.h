// URI references as RFC 3986 reads them: split into their parts, resolved against a base,
// joined again. Byte by byte: nothing is decoded, case-folded or checked for allowed characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace picsheet {

struct UriReference {
  std::optional<std::string> scheme;     // without its ":"
  std::optional<std::string> authority;  // without its "//"; present but empty in "file:///x"
  std::string path;
  std::optional<std::string> query;     // without its "?"
  std::optional<std::string> fragment;  // without its "#"
};

// Splits text by the rule of RFC 3986, appendix B. A scheme must begin with a letter and hold
// only letters, digits, "+", "-" and "."; text whose part before its first ":" is no such name
// has no scheme ("1:2.jpg" is a path, as browsers take it).
UriReference ParseUriReference(std::string_view text);

// The target of reference resolved against base (an absolute URI) by RFC 3986, section 5.2.2,
// in its strict form: a reference with a scheme of its own is taken as it is, dots removed.
UriReference ResolveUriReference(const UriReference& base, const UriReference& reference);

// Section 5.2.4: "/a/b/../c/./d" gives "/a/c/d".
std::string RemoveDotSegments(std::string_view path);

// The parts joined again (section 5.3); ComposeUriReference(ParseUriReference(t)) == t.
std::string ComposeUriReference(const UriReference& reference);

}  // namespace picsheet
