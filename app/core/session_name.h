// The save name derived from a source text: it names the output page and the picture folder.
#pragma once

#include <string>

namespace picsheet {

// The bytes of text that are "-", "0"-"9", "A"-"Z", "_" or "a"-"z", in order.
std::string FilterSessionName(const std::string& text);

// FilterSessionName of the part after the last "\" or ":" (the whole text when it has neither);
// in a local path (no IsLink) "/" ends a part too. "http://host:8080/a.htm" gives "8080ahtm",
// "/home/u/some dir/catalogue.htm" gives "cataloguehtm". A link's password is left out first:
// "http://user:pw@host/list.htm" gives "hostlisthtm".
std::string DeriveSessionName(const std::string& source);

// A save name as the user typed it (UTF-8, in the window's field or from a shell) turned into the
// run's 8-bit name, Windows-1251 like the pages' titles and number texts, so that the page holds
// one code page. ASCII stays as it is; bytes that are no valid UTF-8 are taken to be 8-bit
// already. Throws Error when a character has no Windows-1251 byte (Chinese, say).
std::string SaveNameFromUserText(const std::string& typed);

}  // namespace picsheet
