// The texts of picsheet --help and --version, written before Qt is started.
#include "app/window/info_options.h"

#include <cstdio>
#include <cstring>

namespace picsheet {
namespace {

// Also the source of the manual page picsheet(1), which help2man makes from it.
constexpr char kHelp[] =
    "Usage: picsheet [SOURCE]\n"
    "Opens the window that turns a catalogue page (a local HTML file or an http:// or https://\n"
    "link) into a printable picture table.\n"
    "\n"
    "SOURCE, when given, fills the source field; the run starts with \"Go!\". The page and its\n"
    "pictures go beside a portable copy or a build tree whose folder is writable; an installed\n"
    "picsheet writes them into picsheet/ in the user's documents folder (~/Documents/picsheet/),\n"
    "which the status bar then shows.\n"
    "\n"
    "Options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

int AnswerInfoOption(int argc, char** argv) {
  if (argc != 2) return -1;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("picsheet %s\n", PICSHEET_VERSION);
    return 0;
  }
  return -1;
}

}  // namespace picsheet
