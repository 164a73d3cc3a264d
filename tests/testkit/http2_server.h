// A real HTTP/2-over-TLS server on 127.0.0.1 (node's http2 module), for one test or benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "tests/testkit/loopback_server.h"

namespace picsheet::testkit {

class Http2Server {
 public:
  // Serves the file picture at every /p/... address, each answer delay late, with certificate.
  // Throws std::runtime_error when node cannot be started or reports no port.
  Http2Server(const LoopbackCertificate& certificate, const std::string& picture,
              std::chrono::milliseconds delay);
  // Stops the server.
  ~Http2Server();
  Http2Server(const Http2Server&) = delete;
  Http2Server& operator=(const Http2Server&) = delete;

  // "https://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path) const;
  // The connections (HTTP/2 sessions) the server has seen.
  int Sessions() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string certificate_;
};

}  // namespace picsheet::testkit
