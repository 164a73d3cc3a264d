// A real HTTP/2-over-TLS server on 127.0.0.1 (node's http2 module), for one test or benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "tests/testkit/loopback_server.h"

namespace picsheet::testkit {

// What the server has seen of its clients, its own statistics request left out.
struct Http2Counts {
  int sessions = 0;         // connections
  int mostStreamsOpen = 0;  // the most requests one connection had open at once
};

class Http2Server {
 public:
  // Serves the file picture at every /p/... address, each answer delay late, with certificate;
  // with pages (a folder), also its file NAME at /pages/NAME as text/html, as late.
  // Throws std::runtime_error when node cannot be started or reports no port.
  Http2Server(const LoopbackCertificate& certificate, const std::string& picture,
              std::chrono::milliseconds delay, const std::string& pages = {});
  // Stops the server.
  ~Http2Server();
  Http2Server(const Http2Server&) = delete;
  Http2Server& operator=(const Http2Server&) = delete;

  // "https://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path) const;
  // The connections (HTTP/2 sessions) and streams the server has seen.
  Http2Counts Counts() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string certificate_;
};

}  // namespace picsheet::testkit
