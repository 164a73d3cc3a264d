// Http2Server: node started as a child, its port read from its first line, killed at the end.
#include "tests/testkit/http2_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tests/testkit/process.h"

namespace picsheet::testkit {

Http2Server::Http2Server(const LoopbackCertificate& certificate, const std::string& picture,
                         std::chrono::milliseconds delay, const std::string& pages)
    : certificate_(certificate.certificate) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const std::string script = std::string(PICSHEET_TEST_SERVERS) + "/h2_picture_server.js";
  const std::string delayText = std::to_string(delay.count());
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execlp("node", "node", script.c_str(), certificate.certificate.c_str(),
             certificate.key.c_str(), picture.c_str(), delayText.c_str(),
             pages.empty() ? nullptr : pages.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  try {
    port_ = std::stoi(line);
  } catch (const std::exception&) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    throw std::runtime_error("the HTTP/2 server (node) did not start: '" + line + "'");
  }
}

Http2Server::~Http2Server() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

std::string Http2Server::Url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

Http2Counts Http2Server::Counts() const {
  // curl asks the way any client would; its own connection is the last one counted, and its one
  // stream never raises the most open at once.
  const ProcessResult stats =
      RunProcess("/usr/bin/curl", {"--silent", "--http2", "--cacert", certificate_, Url("/stats")});
  Http2Counts counts;
  if (std::sscanf(stats.out.c_str(), "%d %d", &counts.sessions, &counts.mostStreamsOpen) != 2) {
    throw std::runtime_error("no statistics from the HTTP/2 server: " + stats.err);
  }
  --counts.sessions;
  return counts;
}

}  // namespace picsheet::testkit
