// CliHelpFooter: the exit statuses picsheet-cli gives, and what a run reads and writes.
#include "app/cli/help_footer.h"

#include "app/core/help_text.h"

namespace picsheet {

std::string CliHelpFooter() {
  return std::string(
             "Exit status:\n"
             "  0                   the page was saved; its path is the line on stdout\n"
             "  1                   the run failed; the last line on stderr is \"error: MESSAGE\"\n"
             "  2                   bad usage\n"
             "  3                   the page was saved with pictures left out (--keep-going)\n"
             "  130, 143            stopped by SIGINT (Ctrl-C) or SIGTERM; the output folder is\n"
             "                      as it was before the run\n"
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
