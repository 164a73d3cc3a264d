#include "app/cli/pdf_export.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "app/core/program_folder.h"
#include "base/error.h"
#include "base/paths.h"

extern char** environ;

namespace picsheet {

void ExportPdfWithWindowProgram(const std::string& pagePath, const std::string& pdfPath) {
  const std::string program = ProgramFolder() + "picsheet";
  if (::access(program.c_str(), X_OK) != 0) {
    throw Error("Cannot create PDF: the window program " + program +
                " (Qt WebEngine) is not installed");
  }
  // The engine talks on stdout and stderr at every start; none of that is ours to show.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string mode = "--export-pdf";
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(mode.c_str()),
                  const_cast<char*>(pagePath.c_str()), const_cast<char*>(pdfPath.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw Error("Cannot create PDF: " + program + ". " + SystemErrorDescription(spawned));
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error("Cannot create file \"" + AbsolutePathLexically(pdfPath) + "\"");
  }
}

}  // namespace picsheet
