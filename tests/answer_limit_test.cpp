// An answer body larger than the memory it may use ends the transfer with "Out of memory".
#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"
#include "web/http_client.h"

namespace picsheet {
namespace {

TEST(AnswerLimitTest, ABodyOverTheLimitIsOutOfMemoryAndOneAtTheLimitArrivesWhole) {
  const std::string body(2 << 20, 'j');
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.Get("/big.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, "image/jpeg");
    });
  });
  const struct {
    std::size_t limit;
    const char* error;
  } cases[] = {{body.size() - 1, "Out of memory"}, {body.size(), nullptr}, {0, nullptr}};
  for (const auto& c : cases) {
    FetchOptions options;
    options.maxBodyBytes = c.limit;
    HttpClient client(options);
    try {
      EXPECT_EQ(client.Get(server.Url("/big.jpg")).Size(), body.size()) << c.limit;
      EXPECT_EQ(c.error, nullptr) << c.limit;
    } catch (const Error& e) {
      ASSERT_NE(c.error, nullptr) << c.limit;
      EXPECT_STREQ(e.what(), c.error);
    }
  }
}

}  // namespace
}  // namespace picsheet
