// Where the answer store lives: the user's cache folder as the XDG base directory rules name it.
#pragma once

#include <string>

namespace picsheet {

// "$XDG_CACHE_HOME/picsheet"; an XDG_CACHE_HOME that is unset, empty or not absolute is ignored,
// as the XDG rules say, for "$HOME/.cache/picsheet", with the home folder taken from the password
// database when HOME is unset, empty or not absolute. "" when no home folder can be found at all.
// The folder may not exist yet.
std::string DefaultCacheFolder();

}  // namespace picsheet
