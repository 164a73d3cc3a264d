// Source loading: brings a catalogue page (an "http://" link or a local file) into memory.
#pragma once

#include <string>

#include "base/fetch_options.h"
#include "base/memory_stream.h"

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
// the file cannot be opened or names a directory.
std::string LoadLocalFile(const std::string& path);

// A source whose first 7 bytes are exactly "http://" is fetched, anything else read as a file.
// A fetched page answered with an HTTP error status (400 and above) fails with "Cannot open URL
// %s", the status as reason. pageText is replaced only when loading succeeded; on an error it
// keeps its value.
void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options = {},
                TransferEngine* engine = nullptr);

}  // namespace picsheet
