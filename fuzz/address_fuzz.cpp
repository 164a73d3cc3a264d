// Picture addresses resolved on a web page and on a local page, from arbitrary page bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/address_resolver.h"
#include "convert/page_hints.h"
#include "convert/uri_reference.h"
#include "web/http_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Kind = picsheet::PictureLocation::Kind;
  const std::string address(reinterpret_cast<const char*>(data), size);
  static const picsheet::AddressResolver web = picsheet::AddressResolver::ForWebPage(
      "https://archive.example/web/2005/http://old/cat/a.htm");
  static const picsheet::AddressResolver local =
      picsheet::AddressResolver::ForLocalPage("/home/u/some dir/catalogue.htm");

  // A page from the network names web addresses or nothing: never a local file.
  const picsheet::PictureLocation onWeb = web.Resolve(address);
  if (onWeb.kind == Kind::kLocalFile) std::abort();
  if (onWeb.kind == Kind::kWeb && !picsheet::HasWebScheme(onWeb.where)) std::abort();
  if (onWeb.kind == Kind::kRefused && onWeb.reason.empty()) std::abort();

  // A local page's files are absolute paths without zero bytes.
  const picsheet::PictureLocation onDisk = local.Resolve(address);
  if (onDisk.kind == Kind::kLocalFile && (onDisk.where.empty() || onDisk.where[0] != '/' ||
                                          onDisk.where.find('\0') != std::string::npos)) {
    std::abort();
  }
  if (onDisk.kind == Kind::kWeb && !picsheet::HasWebScheme(onDisk.where)) std::abort();

  // The same bytes as a whole page, with its encoding and <base href>: still never a local file,
  // and an address asked again as written is a web address too.
  const picsheet::AddressResolver page = picsheet::AddressResolver::ForWebPage(
      "http://host/cat/list.htm", picsheet::ReadPageHints(address, "text/html"));
  const picsheet::PictureLocation inPage = page.Resolve(address);
  if (inPage.kind == Kind::kLocalFile) std::abort();
  if (!inPage.asWritten.empty() && !picsheet::HasWebScheme(inPage.asWritten)) std::abort();
  return 0;
}
