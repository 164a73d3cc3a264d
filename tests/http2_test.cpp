// Pictures from a server that speaks HTTP/2: they share one connection, several in flight.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/core/run_flow.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/http2_server.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

TEST(Http2Test, ThePicturesOfARunShareOneConnection) {
  testkit::TempDir folder;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(folder.path());
  const testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  const std::string picture = testkit::MakeQuadrantJpeg(30, 40, testkit::JpegKind::kBaseline);
  testkit::WriteFileBytes(folder.File("picture.jpg"), picture);
  testkit::Http2Server server(certificate, folder.File("picture.jpg"),
                              std::chrono::milliseconds(20));

  constexpr int kPictures = 60;
  std::string page = "<center><font size=3><b>T</b></font><br><table><tr>";
  for (int n = 1; n <= kPictures; ++n) {
    page += "<td><center>" + std::to_string(n) + "<br><img src=\"" +
            server.Url("/p/" + std::to_string(n) + ".jpg") + "\" alt=x></center></td>";
  }
  testkit::WriteFileBytes(folder.File("list.htm"), page + "</tr></table>");
  testkit::TempDir out;
  RunRequest request;
  request.source = folder.File("list.htm");
  request.saveName = "run";
  request.programFolder = out.path() + "/";
  RunState state;
  testkit::RecordingView view;
  RunConversion(request, state, view);
  for (int n = 1; n <= kPictures; ++n) {
    std::string name = std::to_string(n) + "_1";
    name.insert(0, 10 - name.size(), '0');
    EXPECT_EQ(testkit::ReadFileBytes(out.File("run_images/" + name + ".jpg")), picture) << n;
  }
  // Six at a time would take six connections over HTTP/1.1.
  EXPECT_EQ(server.Sessions(), 1);
}

}  // namespace
}  // namespace picsheet
