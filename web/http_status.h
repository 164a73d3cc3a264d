// What an HTTP status code says: its standard words, and whether it asks to come back later.
#pragma once

namespace picsheet {

// The standard words of a status ("Not Found" for 404), the same whatever the server wrote on its
// status line (HTTP/2 has none); empty for a code without them.
const char* ReasonPhrase(long status);

// True for the answers that say the server or its upstream is busy: 429, 502, 503, 504.
bool IsBusyStatus(long status);

}  // namespace picsheet
