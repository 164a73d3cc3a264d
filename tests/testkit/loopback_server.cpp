#include "tests/testkit/loopback_server.h"

#include <stdexcept>

#include "tests/testkit/process.h"

namespace picsheet::testkit {

LoopbackCertificate MakeLoopbackCertificate(const std::string& folder) {
  LoopbackCertificate made{folder + "/loopback-cert.pem", folder + "/loopback-key.pem"};
  const ProcessResult result = RunProcess(
      "/usr/bin/openssl",
      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
       "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", made.key, "-out", made.certificate});
  if (result.exitCode != 0) throw std::runtime_error("openssl req failed: " + result.err);
  return made;
}

LoopbackServer::LoopbackServer(const std::function<void(httplib::Server&)>& routes)
    : server_(std::make_unique<httplib::Server>()) {
  Start(routes);
}

LoopbackServer::LoopbackServer(const std::function<void(httplib::Server&)>& routes,
                               const LoopbackCertificate& certificate)
    : server_(std::make_unique<httplib::SSLServer>(certificate.certificate.c_str(),
                                                   certificate.key.c_str())),
      scheme_("https") {
  if (!server_->is_valid()) throw std::runtime_error("cannot load " + certificate.certificate);
  Start(routes);
}

void LoopbackServer::Start(const std::function<void(httplib::Server&)>& routes) {
  server_->set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
    handOff_.load(std::memory_order_acquire);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // And back: what a handler read or recorded is the test's again at its next Url().
  server_->set_post_routing_handler([this](const httplib::Request&, httplib::Response&) {
    handBack_.fetch_add(1, std::memory_order_release);
  });
  routes(*server_);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  // Bound before the thread starts: early connections wait in the backlog.
  thread_ = std::thread([this] { server_->listen_after_bind(); });
}

LoopbackServer::~LoopbackServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
  handBack_.load(std::memory_order_acquire);
  handOff_.fetch_add(1, std::memory_order_release);
  return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace picsheet::testkit
