// Source loading: brings a catalogue page (a link or a local file) into memory, with what its
// picture addresses are resolved against.
#pragma once

#include <string>
#include <string_view>

#include "base/http_client.h"
#include "base/memory_stream.h"
#include "convert/address_resolver.h"

namespace picsheet {

// One HTTP GET of url; the whole body, positioned at its start, owned by the caller.
// Throws Error "Unable to initialize Wininet" or "Cannot open URL %s".
MemoryStream FetchUrl(const std::string& url, const FetchOptions& options = {});

// Reads a local file in blocks of 10240 bytes; each block contributes the bytes before its first
// zero byte. Throws Error "Cannot open file \"%s\". %s" (absolute path, system description) when
// the file cannot be opened or names a directory; the empty path is named as it is, "".
std::string LoadLocalFile(const std::string& path);

// True when sourceText, with blanks (space, tab, CR, LF) around it removed, begins with
// "http://" or "https://" in any letter case: a link a user pasted from a browser.
bool IsLink(std::string_view sourceText);

// A loaded catalogue page.
struct LoadedPage {
  std::string text;           // PageText: the bytes as fetched or read, undecoded
  AddressResolver addresses;  // resolves the page's picture addresses against it
};

// A link (IsLink) is fetched, the blanks around it dropped; anything else is read as a file with
// LoadLocalFile. A fetched page answered with an HTTP error status (400 and above) fails with
// "Cannot open URL %s", the status as reason. The addresses of a fetched page resolve against
// its address after redirects, those of a file against the file's folder.
LoadedPage LoadSource(const std::string& source, const FetchOptions& options = {});

// The same for callers that need the text alone: pageText is replaced only when loading
// succeeded; on an error it keeps its value.
void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options = {});

}  // namespace picsheet
