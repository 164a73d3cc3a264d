// Where a picture is read from: an address as written in a catalogue page, resolved against the
// page it stands in, as a browser resolves an image's src.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "convert/page_hints.h"
#include "convert/uri_reference.h"

namespace picsheet {

struct PictureLocation {
  enum class Kind { kWeb, kLocalFile, kRefused };
  Kind kind = Kind::kRefused;
  std::string where;   // kWeb: an absolute http(s) URL; kLocalFile: an absolute file-system path
  std::string reason;  // kRefused: why, in words, for the failure's detail line
  // kWeb: the address with the page's bytes as they stand, when where differs from it (where is
  // read in the page's encoding). A server that keeps file names in the page's code page knows
  // only this one, so it is asked once more when where answers 404.
  std::string asWritten;
};

// Resolves the picture addresses of one page. Pure: it reads neither the network nor the disk.
class AddressResolver {
 public:
  // For a page fetched from the network; finalUrl is its address after redirects. Only http and
  // https addresses are ever read for such a page: never a local file. hints tell the page's
  // encoding and its <base href>, which (resolved against finalUrl) relative addresses resolve
  // against instead; a <base href> that names nothing a picture may come from is left aside.
  static AddressResolver ForWebPage(std::string finalUrl, const PageHints& hints = {});

  // For a page read from disk; pagePath is its path as given (relative to the current folder or
  // absolute). Relative addresses and file: URLs name files beside it; http(s) addresses are
  // still downloaded. hints as for a web page.
  static AddressResolver ForLocalPage(const std::string& pagePath, const PageHints& hints = {});

  // addressInPage is the src as the page holds it. Its character references are decoded first
  // (DecodeAttributeCharacterReferences), the blanks around it dropped and tabs and line breaks
  // in it removed (as browsers do); then a relative reference ("img/1.jpg", "/abs/2.jpg",
  // "//host/3.jpg", "../up/4.jpg", "?q=1"; "\" counts as "/" there) is resolved by RFC 3986.
  // http(s) addresses are read as the URL Standard reads them: "\" counts as "/" before the
  // query, any number of slashes may stand before the host ("http:\\host\x.jpg",
  // "http:///host/x.jpg"), and "http:img/x.jpg" is relative on an http page. An absolute http(s)
  // address otherwise stays as written. A web address is read in the page's encoding (when
  // undeclared: as UTF-8 where its bytes are valid UTF-8, else as Windows-1251): its path in
  // UTF-8, its query in the page's encoding, as browsers send them; blanks and bytes of 128 and
  // above stay raw (the request percent-encodes them). A local file's path is percent-decoded
  // ("%2F" and "%00" excepted, which no file name holds) and each of its parts that is no valid
  // UTF-8 is read as Windows-1251, as a browser reads such a page and as the files a browser
  // saves with it are named.
  PictureLocation Resolve(const std::string& addressInPage) const;

  // The page's own address: the final URL of a web page, the absolute path of a local one.
  const std::string& page() const { return page_; }
  bool ForLocalFiles() const { return local_; }

 private:
  AddressResolver(bool local, std::string page, UriReference base, PageEncoding encoding)
      : local_(local), page_(std::move(page)), base_(std::move(base)), encoding_(encoding) {}

  void UseBaseHref(const std::optional<std::string>& href);
  // The address (its references decoded) resolved byte for byte.
  PictureLocation Locate(const std::string& addressInPage) const;
  // An http(s) address that names its host, from the text after its "scheme:".
  PictureLocation WebAddress(const std::string& scheme, std::string_view rest) const;
  PictureLocation ResolveOnWebPage(const UriReference& reference) const;
  PictureLocation ResolveOnLocalPage(UriReference parsed) const;

  bool local_;
  std::string page_;
  UriReference base_;
  PageEncoding encoding_;
};

}  // namespace picsheet
