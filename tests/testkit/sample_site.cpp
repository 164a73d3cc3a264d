#include "tests/testkit/sample_site.h"

#include "tests/testkit/temp_dir.h"

namespace picsheet::testkit {

std::string SamplePictureFolder() { return std::string(PICSHEET_EXAMPLES) + "/pictures/"; }

void ServeSamplePictures(httplib::Server& server) {
  server.Get(R"(/pictures/(.+))", [](const httplib::Request& req, httplib::Response& res) {
    const std::string file = SamplePictureFolder() + req.matches[1].str();
    if (!PathExists(file)) {
      res.status = 404;
      return;
    }
    res.set_content(ReadFileBytes(file), "image/jpeg");
  });
  server.Get("/error-page.jpg", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>Not found</html>", "text/html");
  });
}

std::string SampleCatalogue(int port) {
  std::string page = ReadFileBytes(std::string(PICSHEET_EXAMPLES) + "/catalogue.htm");
  const std::string bundled = "127.0.0.1:8642";
  for (std::size_t at; (at = page.find(bundled)) != std::string::npos;) {
    page.replace(at, bundled.size(), "127.0.0.1:" + std::to_string(port));
  }
  return page;
}

}  // namespace picsheet::testkit
