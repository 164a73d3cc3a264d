// ReadPageHints: the page's encoding and <base href>, read as a browser's pre-scan reads them.
#include "convert/page_hints.h"

#include <algorithm>
#include <vector>

#include "base/ascii.h"

namespace picsheet {
namespace {

constexpr std::string_view kSpaces = " \t\n\f\r";
// Browsers look for a <meta> declaring the encoding only this far into a page.
constexpr std::size_t kPreScanBytes = 1024;

bool IsSpace(char c) { return kSpaces.find(c) != std::string_view::npos; }

struct Attribute {
  std::string name;  // in lower case
  std::string value;
};

// The attributes of a tag from text[at], just after its name, to its ">"; at ends past it.
std::vector<Attribute> ReadAttributes(std::string_view text, std::size_t& at) {
  std::vector<Attribute> attributes;
  const auto skipSpaces = [&] {
    while (at < text.size() && IsSpace(text[at])) ++at;
  };
  for (;;) {
    while (at < text.size() && (IsSpace(text[at]) || text[at] == '/')) ++at;
    if (at >= text.size()) return attributes;
    if (text[at] == '>') {
      ++at;
      return attributes;
    }
    Attribute attribute;
    do {
      attribute.name += AsciiLower(text[at++]);
    } while (at < text.size() && !IsSpace(text[at]) && text[at] != '/' && text[at] != '>' &&
             text[at] != '=');
    skipSpaces();
    if (at < text.size() && text[at] == '=') {
      ++at;
      skipSpaces();
      if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
        const char quote = text[at++];
        const std::size_t end = std::min(text.find(quote, at), text.size());
        attribute.value = text.substr(at, end - at);
        at = std::min(end + 1, text.size());
      } else {
        while (at < text.size() && !IsSpace(text[at]) && text[at] != '>') {
          attribute.value += text[at++];
        }
      }
    }
    attributes.push_back(std::move(attribute));
  }
}

// Calls visit with the attributes of each <name ...> tag of text, outside comments, until visit
// returns true.
template <typename Visit>
void ForEachTag(std::string_view text, std::string_view name, const Visit& visit) {
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    if (text.substr(at, 4) == "<!--") {
      at = text.find("-->", at + 2);
      if (at == std::string_view::npos) return;
      continue;
    }
    ++at;
    const std::size_t end = at + name.size();
    if (end < text.size() && StartsWithIgnoringCase(text.substr(at), name) &&
        (IsSpace(text[end]) || text[end] == '/' || text[end] == '>')) {
      at = end;
      if (visit(ReadAttributes(text, at))) return;
    }
  }
}

const std::string* Find(const std::vector<Attribute>& attributes, std::string_view name) {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == name) return &attribute.value;
  }
  return nullptr;
}

// The label after "charset=" in a Content-Type value, as browsers take it from a <meta content>.
std::string_view CharsetIn(std::string_view content) {
  const std::string lower = AsciiLowerCase(content);
  std::size_t at = 0;
  while ((at = lower.find("charset", at)) != std::string::npos) {
    at += 7;
    while (at < content.size() && IsSpace(content[at])) ++at;
    if (at >= content.size() || content[at] != '=') continue;
    ++at;
    while (at < content.size() && IsSpace(content[at])) ++at;
    if (at < content.size() && (content[at] == '"' || content[at] == '\'')) {
      const std::size_t end = content.find(content[at], at + 1);
      if (end == std::string_view::npos) return {};
      return content.substr(at + 1, end - at - 1);
    }
    const std::size_t end = std::min(content.find_first_of(" \t\n\f\r;", at), content.size());
    return content.substr(at, end - at);
  }
  return {};
}

PageEncoding MetaEncoding(std::string_view pageText) {
  PageEncoding found = PageEncoding::kUndeclared;
  ForEachTag(pageText.substr(0, kPreScanBytes), "meta", [&](const std::vector<Attribute>& tag) {
    if (const std::string* charset = Find(tag, "charset")) {
      found = EncodingOfLabel(*charset);
    } else if (const std::string* equiv = Find(tag, "http-equiv");
               equiv != nullptr && EqualIgnoringCase(*equiv, "content-type")) {
      if (const std::string* content = Find(tag, "content")) {
        found = EncodingOfLabel(CharsetIn(*content));
      }
    }
    return found != PageEncoding::kUndeclared;
  });
  return found;
}

}  // namespace

PageEncoding EncodingOfLabel(std::string_view label) {
  const std::string name = AsciiLowerCase(TrimmedOf(label, kSpaces));
  for (const char* utf8 : {"unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8",
                           "x-unicode20utf8"}) {
    if (name == utf8) return PageEncoding::kUtf8;
  }
  for (const char* windows1251 : {"cp1251", "windows-1251", "x-cp1251"}) {
    if (name == windows1251) return PageEncoding::kWindows1251;
  }
  return PageEncoding::kUndeclared;
}

PageHints ReadPageHints(std::string_view pageText, std::string_view contentType) {
  PageHints hints;
  if (pageText.substr(0, 3) == "\xEF\xBB\xBF") {
    hints.encoding = PageEncoding::kUtf8;
  } else {
    hints.encoding = EncodingOfLabel(CharsetIn(contentType));
    if (hints.encoding == PageEncoding::kUndeclared) hints.encoding = MetaEncoding(pageText);
  }
  ForEachTag(pageText, "base", [&](const std::vector<Attribute>& tag) {
    if (const std::string* href = Find(tag, "href")) hints.baseHref = *href;
    return hints.baseHref.has_value();
  });
  return hints;
}

}  // namespace picsheet
