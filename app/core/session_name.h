// The save name derived from a source text: it names the output page and the picture folder.
#pragma once

#include <string>

namespace picsheet {

// The bytes of text that are "-", "0"-"9", "A"-"Z", "_" or "a"-"z", in order.
std::string FilterSessionName(const std::string& text);

// FilterSessionName of the part after the last "\" or ":" (the whole text when it has neither).
// "http://host:8080/a.htm" gives "8080ahtm".
std::string DeriveSessionName(const std::string& source);

}  // namespace picsheet
