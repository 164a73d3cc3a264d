// CliHelpFooter: the exit statuses picsheet-cli gives, and what a run reads and writes.
#include "app/cli/help_footer.h"

#include "app/core/help_text.h"

namespace picsheet {

std::string CliHelpFooter() {
  return std::string(
             "Exit status:\n"
             "  0                   every page was saved; their paths are the lines on stdout\n"
             "  1                   the run failed; the last line on stderr is \"error: MESSAGE\"\n"
             "                      (\"error: SOURCE: MESSAGE\" with several sources); the pages\n"
             "                      saved before stay\n"
             "  2                   bad usage\n"
             "  3                   pictures or catalogues were left out (--keep-going)\n"
             "  130, 143            stopped by SIGINT (Ctrl-C) or SIGTERM; the page under way\n"
             "                      leaves the output folder as it was, those saved before stay\n"
             "\n"
             "Environment:\n") +
         help::kEnvironmentEntries +
         "\n"
         "Files:\n"
         "  DIR/NAME.html, DIR/NAME_images/\n"
         "                      the saved page and its pictures, NNNNNNNNNN.jpg\n" +
         help::kDigitPicturesEntry + help::kAnswerCacheEntry +
         "  picsheet            the window program beside picsheet-cli, which --pdf runs without\n"
         "                      a window to render the PDF\n";
}

}  // namespace picsheet
