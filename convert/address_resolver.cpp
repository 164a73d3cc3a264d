// AddressResolver: picture addresses resolved against their page, web or local.
#include "convert/address_resolver.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/windows1251.h"
#include "convert/character_references.h"

namespace picsheet {
namespace {

PictureLocation Refused(std::string reason) {
  return {PictureLocation::Kind::kRefused, {}, std::move(reason), {}};
}

bool IsWebScheme(const std::optional<std::string>& scheme) {
  return scheme && (EqualIgnoringCase(*scheme, "http") || EqualIgnoringCase(*scheme, "https"));
}

// A browser drops control bytes and blanks around a URL and every tab and line break in it (an
// src written over two lines still names one picture).
std::string WithoutUrlBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c != '\t' && c != '\n' && c != '\r') kept += c;
  }
  return kept;
}

// Every %XX as its byte; a "%" without two hexadecimal digits stays. keep says which decoded
// bytes stay written as %XX instead.
template <typename Keep>
std::string PercentDecoded(std::string_view text, const Keep& keep) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      const char byte =
          static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      if (!keep(byte)) {
        out += byte;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The bytes a path inside a URI cannot hold as themselves; every other byte goes in raw, so
// that decoding the resolved path gives back exactly the bytes put in.
std::string EncodedForUriPath(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    if (c == '%') {
      out += "%25";
    } else if (c == '?') {
      out += "%3F";
    } else if (c == '#') {
      out += "%23";
    } else {
      out += c;
    }
  }
  return out;
}

// A file address's path in the form resolution works on: each segment as the file-system name
// it stands for (percent-decoded, UTF-8), encoded again only where a URI path needs it. A
// decoded "/" or zero byte would name another file than the one written, so those stay encoded.
std::string LocalSegments(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('/', start);
    const std::string_view segment =
        path.substr(start, end == std::string_view::npos ? end : end - start);
    const std::string decoded =
        PercentDecoded(segment, [](char byte) { return byte == '/' || byte == '\0'; });
    out += EncodedForUriPath(FileSystemName(decoded));
    if (end == std::string_view::npos) return out;
    out += '/';
    start = end + 1;
  }
}

// Browsers read "\" as "/" in the path and authority of http, https and file addresses: the
// part before the query or fragment.
std::string BackslashesAsSlashes(std::string text) {
  const std::size_t end = text.find_first_of("?#");
  for (std::size_t i = 0; i < text.size() && i < end; ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  return text;
}

// A local path as the file: URI resolution works on.
UriReference FileUri(const std::string& path) {
  UriReference uri;
  uri.scheme = "file";
  uri.authority = "";
  uri.path = EncodedForUriPath(path);
  return uri;
}

// address (UTF-8) with its query encoded in Windows-1251, as a browser sends the query of a
// Windows-1251 page: a character the code page has no byte for as "&#N;", percent-encoded.
std::string WithQueryInWindows1251(const std::string& address) {
  const std::size_t fragment = std::min(address.find('#'), address.size());
  const std::size_t query = address.find('?');
  if (query >= fragment) return address;
  return address.substr(0, query) +
         EncodeWindows1251(std::string_view(address).substr(query, fragment - query),
                           [](char32_t c) { return "%26%23" + std::to_string(c) + "%3B"; }) +
         address.substr(fragment);
}

bool StartsWithTwoSlashes(std::string_view text) {
  return text.size() >= 2 && (text[0] == '/' || text[0] == '\\') &&
         (text[1] == '/' || text[1] == '\\');
}

}  // namespace

AddressResolver AddressResolver::ForWebPage(std::string finalUrl, const PageHints& hints) {
  UriReference base = ParseUriReference(finalUrl);
  base.fragment.reset();
  AddressResolver resolver(false, std::move(finalUrl), std::move(base), hints.encoding);
  resolver.UseBaseHref(hints.baseHref);
  return resolver;
}

AddressResolver AddressResolver::ForLocalPage(const std::string& pagePath, const PageHints& hints) {
  std::string absolute = AbsolutePathLexically(pagePath);
  AddressResolver resolver(true, std::move(absolute), FileUri(absolute), hints.encoding);
  resolver.UseBaseHref(hints.baseHref);
  return resolver;
}

void AddressResolver::UseBaseHref(const std::optional<std::string>& href) {
  if (!href) return;
  const PictureLocation base = Resolve(*href);
  if (base.kind == PictureLocation::Kind::kWeb) {
    base_ = ParseUriReference(base.where);
  } else if (base.kind == PictureLocation::Kind::kLocalFile) {
    base_ = FileUri(base.where);
  }
  base_.fragment.reset();
}

PictureLocation AddressResolver::Resolve(const std::string& addressInPage) const {
  PictureLocation asWritten = Locate(addressInPage);
  if (asWritten.kind != PictureLocation::Kind::kWeb) return asWritten;
  const bool utf8 = IsValidUtf8(addressInPage);
  PageEncoding encoding = encoding_;
  if (encoding == PageEncoding::kUndeclared) {
    encoding = utf8 ? PageEncoding::kUtf8 : PageEncoding::kWindows1251;
  }
  if (encoding == PageEncoding::kUtf8 && utf8) return asWritten;  // its characters are its bytes
  PictureLocation asRead;
  if (encoding == PageEncoding::kUtf8) {
    asRead = Locate(WithReplacementCharacters(addressInPage));
  } else {
    asRead = Locate(DecodeWindows1251(addressInPage));
    asRead.where = WithQueryInWindows1251(asRead.where);
  }
  if (asRead.where != asWritten.where) asRead.asWritten = std::move(asWritten.where);
  return asRead;
}

PictureLocation AddressResolver::Locate(const std::string& addressInPage) const {
  const std::string address = WithoutUrlBlanks(DecodeAttributeCharacterReferences(addressInPage));
  if (address.empty()) return Refused(messages::kEmptyAddress);
  UriReference parsed = ParseUriReference(address);
  const std::size_t schemeLength = parsed.scheme ? parsed.scheme->size() + 1 : 0;
  const std::string_view rest = std::string_view(address).substr(schemeLength);
  if (IsWebScheme(parsed.scheme)) {
    // "http:g" and "http:/g" on an http page are relative to it, as browsers take them; two
    // slashes of either kind, or another scheme than the page's, begin the host.
    const bool sameScheme = base_.scheme && EqualIgnoringCase(*parsed.scheme, *base_.scheme);
    if (!sameScheme || StartsWithTwoSlashes(rest)) return WebAddress(*parsed.scheme, rest);
    parsed.scheme.reset();
  } else if (parsed.scheme) {
    if (!local_) return Refused(messages::kNotAWebAddress);
    // "file:x.jpg" in a saved page is relative to it, as "http:g" is on the web.
    if (parsed.authority || !base_.scheme || !EqualIgnoringCase(*parsed.scheme, *base_.scheme)) {
      return ResolveOnLocalPage(std::move(parsed));
    }
  }
  // A relative address: "\" counts as "/" in it, and on the web "//" and any slashes after it
  // begin a host.
  std::string reference = BackslashesAsSlashes(std::string(rest));
  const bool onFiles = local_ && base_.scheme && EqualIgnoringCase(*base_.scheme, "file");
  if (!onFiles && StartsWithTwoSlashes(reference)) {
    reference.erase(0, std::min(reference.find_first_not_of('/'), reference.size()) - 2);
  }
  parsed = ParseUriReference(reference);
  parsed.scheme.reset();
  return onFiles ? ResolveOnLocalPage(std::move(parsed)) : ResolveOnWebPage(parsed);
}

PictureLocation AddressResolver::WebAddress(const std::string& scheme,
                                            std::string_view rest) const {
  // The URL Standard's reading: any number of "/" and "\" before the host, "\" as "/" in the
  // path. Else the address stays as written, with no change of letter case, port or dots:
  // servers differ in what they take for equal.
  const std::size_t host = std::min(rest.find_first_not_of("/\\"), rest.size());
  UriReference target =
      ParseUriReference("//" + BackslashesAsSlashes(std::string(rest.substr(host))));
  if (target.authority->empty()) {
    return Refused(local_ ? messages::kNotAWebOrFileAddress : messages::kNotAWebAddress);
  }
  target.scheme = scheme;
  return {PictureLocation::Kind::kWeb, ComposeUriReference(target), {}, {}};
}

PictureLocation AddressResolver::ResolveOnWebPage(const UriReference& reference) const {
  const UriReference target = ResolveUriReference(base_, reference);
  if (!IsWebScheme(target.scheme) || !target.authority || target.authority->empty()) {
    return Refused(local_ ? messages::kNotAWebOrFileAddress : messages::kNotAWebAddress);
  }
  return {PictureLocation::Kind::kWeb, ComposeUriReference(target), {}, {}};
}

PictureLocation AddressResolver::ResolveOnLocalPage(UriReference parsed) const {
  if (parsed.scheme && !EqualIgnoringCase(*parsed.scheme, "file")) {
    return Refused(messages::kNotAWebOrFileAddress);
  }
  parsed.path = LocalSegments(parsed.path);
  const UriReference target = ResolveUriReference(base_, parsed);
  const std::string host = target.authority.value_or("");
  if (!host.empty() && !EqualIgnoringCase(host, "localhost")) {
    return Refused(messages::FileOnAnotherComputer(host));
  }
  std::string path = PercentDecoded(target.path, [](char) { return false; });
  if (path.empty()) path.push_back('/');  // a literal here trips GCC 12's -Wrestrict
  return {PictureLocation::Kind::kLocalFile, std::move(path), {}, {}};
}

}  // namespace picsheet
