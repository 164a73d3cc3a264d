// The HTTP client against real loopback servers: dead hosts, failures and their reasons.
#include "base/http_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/picture_prefetcher.h"
#include "base/error.h"
#include "tests/testkit/loopback_server.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;

// A dead domain among good pictures, as old catalogues have them: each pool connection meets the
// failed lookup and then goes on with good addresses. This once corrupted the heap.
TEST(HttpClientTest, DeadHostsAmongGoodPicturesThroughThePool) {
  // Larger than libcurl's receive buffer, so every answer fills it.
  std::string picture(200 * 1024, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 7919 >> 3);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/p/\d+\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture, "image/jpeg");
    });
  });
  std::vector<std::string> addresses;
  for (int i = 0; i < 40; ++i) {
    addresses.push_back(i % 4 == 0 ? "http://no-such-host-" + std::to_string(i) + ".invalid/a.jpg"
                                   : server.Url("/p/" + std::to_string(i) + ".jpg"));
  }
  for (int run = 0; run < 5; ++run) {
    PicturePrefetcher prefetcher(addresses, 3, FetchOptions{});
    for (const std::string& address : addresses) {
      if (address.find(".invalid/") != std::string::npos) {
        EXPECT_THROW(prefetcher.Take(address), Error);
      } else {
        EXPECT_EQ(prefetcher.Take(address).Remaining(), picture);
      }
    }
  }
}

}  // namespace
}  // namespace picsheet
