// A real HTTP server on 127.0.0.1 and a free port, running for the life of one test.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace picsheet::testkit {

class LoopbackServer {
 public:
  // routes registers the handlers before the server starts listening.
  explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path. Also hands what the calling thread has set up so far (the
  // state the handlers read) to the server's threads: a release their every request acquires;
  // and takes back what the handlers of earlier requests did (a release after every answer).
  // Sockets and child processes order the two anyway, but ThreadSanitizer does not see that.
  std::string Url(const std::string& path) const;

 private:
  httplib::Server server_;
  int port_ = -1;
  mutable std::atomic<unsigned> handOff_{0};
  std::atomic<unsigned> handBack_{0};
  std::thread thread_;
};

}  // namespace picsheet::testkit
