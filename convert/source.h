// Source loading: brings a catalogue page (a link or a local file) into memory, with what its
// picture addresses are resolved against.
#pragma once

#include <string>
#include <string_view>

#include "base/memory_stream.h"
#include "convert/address_resolver.h"
#include "web/fetch_options.h"

namespace picsheet {

class TransferEngine;

// One HTTP GET of url, through engine when given (sharing its connections and its stop); the
// whole body, positioned at its start, owned by the caller.
// Throws Error "Unable to initialize Wininet", "Cannot open URL %s", "Out of memory" (a body
// larger than options.maxBodyBytes) or "Interrupted".
MemoryStream FetchUrl(const std::string& url, const FetchOptions& options = {},
                      TransferEngine* engine = nullptr);

// Reads a local file in blocks of 10240 bytes; each block contributes the bytes before its first
// zero byte. Throws Error "Cannot open file \"%s\". %s" (absolute path, system description) when
// the file cannot be opened or names a directory; the empty path is named as it is, "".
std::string LoadLocalFile(const std::string& path);

// Reads a picture file whole, every byte as it is on disk. Throws Error "Cannot open file
// \"%s\". %s" when it cannot be opened or read, "Out of memory" when it is larger than maxBytes
// (0: no limit).
std::string LoadLocalPicture(const std::string& path, std::size_t maxBytes);

// True when sourceText, with blanks around it removed, begins with "http://" or "https://" in any
// letter case: a link a user pasted from a browser. Blanks are space, tab, CR and LF, and in
// UTF-8 the no-break, narrow and other Unicode spaces, zero-width characters and the byte-order
// mark.
bool IsLink(std::string_view sourceText);

// text without the blanks around it, as IsLink counts them.
std::string_view WithoutLinkBlanks(std::string_view text);

// A loaded catalogue page.
struct LoadedPage {
  std::string text;           // PageText: the bytes as fetched or read, undecoded
  AddressResolver addresses;  // resolves the page's picture addresses against it
  // For a failure's lines: the link as fetched with no password in it, or the file's absolute
  // path; and what came, in words ("the server answered 200 OK with text/html, 1234 bytes",
  // "an empty file").
  std::string shownName;
  std::string answer;
};

// A link (IsLink) is fetched, the blanks around it (as IsLink counts them) dropped; anything else
// is read as a file with LoadLocalFile. A fetched page answered with an HTTP error status (400 and
// above) fails with "Cannot open URL %s", the status as reason. The addresses of a fetched page
// resolve against its address after redirects, those of a file against the file's folder, or
// against the page's <base href>; they are read in the page's encoding (ReadPageHints). Through
// engine when given (sharing its connections and its stop).
LoadedPage LoadSource(const std::string& source, const FetchOptions& options = {},
                      TransferEngine* engine = nullptr);

// The same for callers that need the text alone: pageText is replaced only when loading
// succeeded; on an error it keeps its value.
void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options = {});

}  // namespace picsheet
