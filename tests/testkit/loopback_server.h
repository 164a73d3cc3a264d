// A real HTTP server on 127.0.0.1 and a free port, running for the life of one test.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace picsheet::testkit {

// A self-signed certificate for 127.0.0.1 and its key, as PEM files.
struct LoopbackCertificate {
  std::string certificate;  // the file to trust (CURL_CA_BUNDLE)
  std::string key;
};

// Makes one with openssl in folder; throws std::runtime_error when openssl fails.
LoopbackCertificate MakeLoopbackCertificate(const std::string& folder);

class LoopbackServer {
 public:
  // routes registers the handlers before the server starts listening.
  explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes);
  // The same over https with certificate.
  LoopbackServer(const std::function<void(httplib::Server&)>& routes,
                 const LoopbackCertificate& certificate);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path ("https://" for a server with a certificate). Also hands what
  // the calling thread has set up so far (the state the handlers read) to the server's threads: a
  // release their every request acquires; and takes back what the handlers of earlier requests did
  // (a release after every answer). Sockets and child processes order the two anyway, but
  // ThreadSanitizer does not see that.
  std::string Url(const std::string& path) const;

 private:
  void Start(const std::function<void(httplib::Server&)>& routes);

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_ = "http";
  int port_ = -1;
  mutable std::atomic<unsigned> handOff_{0};
  std::atomic<unsigned> handBack_{0};
  std::thread thread_;
};

}  // namespace picsheet::testkit
