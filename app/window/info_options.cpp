// The texts of picsheet --help and --version, written before Qt is started.
#include "app/window/info_options.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/core/help_text.h"

namespace picsheet {
namespace {

// Also the source of the manual page picsheet(1), which help2man makes from it: "Options:",
// "Environment:" and "Files:" become sections of those names.
std::string HelpText() {
  return std::string(
             "Usage: picsheet [SOURCE]\n"
             "Opens the window that turns a catalogue page (a local HTML file or an http:// or\n"
             "https:// link) into a printable picture table.\n"
             "\n"
             "SOURCE, when given, fills the source field; the run starts with \"Go!\".\n"
             "\n"
             "Options:\n"
             "  --help     print this help and exit\n"
             "  --version  print the version and exit\n"
             "\n"
             "Environment:\n") +
         help::kEnvironmentEntries +
         "  XDG_CONFIG_HOME     the folder of user-dirs.dirs (~/.config when unset), whose\n"
         "                      XDG_DOCUMENTS_DIR names the documents folder\n"
         "\n"
         "Files:\n"
         "  NAME.html, NAME_images/\n"
         "                      the saved page and its pictures: beside a portable copy or a\n"
         "                      build tree whose folder is writable; for an installed picsheet,\n"
         "                      or one in a read-only folder, in picsheet/ in the documents\n"
         "                      folder (~/Documents/picsheet/ unless user-dirs.dirs names\n"
         "                      another), which the status bar then shows\n" +
         help::kDigitPicturesEntry + help::kAnswerCacheEntry;
}

}  // namespace

int AnswerInfoOption(int argc, char** argv) {
  if (argc != 2) return -1;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("picsheet %s\n", PICSHEET_VERSION);
    return 0;
  }
  return -1;
}

}  // namespace picsheet
