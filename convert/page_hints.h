// What a catalogue page says about reading its addresses: the encoding of its characters and the
// address its relative addresses resolve against, found as a browser finds them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace picsheet {

enum class PageEncoding {
  kUndeclared,  // nothing (or nothing known) declared: each address is read as it looks
  kUtf8,
  kWindows1251,
};

struct PageHints {
  PageEncoding encoding = PageEncoding::kUndeclared;
  // The href of the page's first <base> element that has one, as the page holds it.
  std::optional<std::string> baseHref;
};

// The encoding a label names ("utf-8", "UTF8", "windows-1251", "cp1251" ...), as the Encoding
// Standard reads labels; kUndeclared for any other.
PageEncoding EncodingOfLabel(std::string_view label);

// The hints of pageText. Its encoding is, first found: a UTF-8 byte-order mark, the charset of
// contentType (the answer's Content-Type; empty for a file), a <meta charset> or <meta
// http-equiv="Content-Type" content="...; charset=..."> in its first 1024 bytes.
PageHints ReadPageHints(std::string_view pageText, std::string_view contentType = {});

}  // namespace picsheet
