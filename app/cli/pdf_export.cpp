// ExportPdfWithWindowProgram: the window program run as a child, its warnings read from a pipe.
#include "app/cli/pdf_export.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/core/program_folder.h"
#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/messages.h"
#include "base/paths.h"

extern char** environ;

namespace picsheet {

namespace {

// Everything the child writes to a pipe until it closes it, or until a stop is requested (then
// false). The pipe is polled, not read blindly, so that a stop request is seen while the child
// is still rendering: a signal sent to picsheet-cli alone does not reach the child.
bool ReadToEnd(int fd, const std::stop_token& stop, std::string& bytes) {
  char buffer[4096];
  for (;;) {
    if (stop.stop_requested()) return false;
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, 100);
    if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return true;
    }
  }
}

// The message of the child's last "error: " line, empty when it wrote none.
std::string LastErrorMessage(const std::string& text) {
  const std::size_t start = text.rfind("error: ");
  if (start == std::string::npos || (start > 0 && text[start - 1] != '\n')) return {};
  const std::size_t end = text.find('\n', start);
  return text.substr(start + 7, end == std::string::npos ? std::string::npos : end - start - 7);
}

// The lines of text that begin with "warning: ".
std::string WarningLines(const std::string& text) {
  std::string warnings;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, 9, "warning: ") == 0) {
      warnings.append(text, start, end - start).push_back('\n');
    }
    start = end + 1;
  }
  return warnings;
}

}  // namespace

std::string ExportPdfWithWindowProgram(const std::vector<std::string>& pagePaths,
                                       const std::string& pdfPath, const std::string& paper,
                                       std::stop_token stop) {
  const std::string program = ProgramFolder() + "picsheet";
  if (::access(program.c_str(), X_OK) != 0) {
    throw Error(ErrorKind::kOther, messages::PdfRendererMissing(program));
  }
  // The engine talks on stdout and stderr at every start; of that only the program's own
  // warning lines are passed on, so stderr comes back through a pipe and stdout goes nowhere.
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    throw Error(ErrorKind::kOther,
                messages::CannotCreatePdf(program, SystemErrorDescription(errno)));
  }
  FileDescriptor readEnd(pipeEnds[0]);
  FileDescriptor writeEnd(pipeEnds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
  const std::string mode = "--export-pdf";
  const std::string paperOption = "--paper";
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(mode.c_str())};
  for (const std::string& page : pagePaths) argv.push_back(const_cast<char*>(page.c_str()));
  for (const std::string* arg : {&pdfPath, &paperOption, &paper}) {
    argv.push_back(const_cast<char*>(arg->c_str()));
  }
  argv.push_back(nullptr);
  // The stop signals are blocked in picsheet-cli, which takes them on a thread of its own; the
  // renderer must get them as usual.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  // Only the child may hold the write end, or reading would never see the end of its output.
  writeEnd.Close();
  if (spawned != 0) {
    throw Error(ErrorKind::kOther,
                messages::CannotCreatePdf(program, SystemErrorDescription(spawned)));
  }
  std::string childErrors;
  const bool finished = ReadToEnd(readEnd.get(), stop, childErrors);
  readEnd.Close();
  if (!finished) ::kill(child, SIGTERM);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) throw InterruptedError();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // The renderer says what failed and why (the folder is missing, the page would not load).
    const std::string message = LastErrorMessage(childErrors);
    if (!message.empty()) throw Error(ErrorKind::kOther, message);
    throw Error(ErrorKind::kOutput, messages::CannotCreateFile(AbsolutePathLexically(pdfPath)));
  }
  return WarningLines(childErrors);
}

}  // namespace picsheet
