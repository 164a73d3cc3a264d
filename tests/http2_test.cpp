// Pictures from a server that speaks HTTP/2: they share one connection, several in flight.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/core/picture_queue.h"
#include "app/core/run_flow.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_run.h"
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
  testkit::WriteFileBytes(
      folder.File("list.htm"),
      testkit::CataloguePage("T", testkit::NumberedCells(kPictures, [&](int n) {
                               return server.Url("/p/" + std::to_string(n) + ".jpg");
                             })));
  testkit::TempDir out;
  ASSERT_EQ(testkit::RunInFolder(testkit::FolderRequest(folder.File("list.htm"), out.path())).error,
            "");
  for (int n = 1; n <= kPictures; ++n) {
    std::string name = std::to_string(n) + "_1";
    name.insert(0, 10 - name.size(), '0');
    EXPECT_EQ(testkit::ReadFileBytes(out.File("run_images/" + name + ".jpg")), picture) << n;
  }
  // Six at a time would take six connections over HTTP/1.1.
  EXPECT_EQ(server.Counts().sessions, 1);
}

TEST(Http2Test, ACataloguePageLinkSharesItsPicturesConnection) {
  testkit::TempDir folder;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(folder.path());
  const testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  const std::string picture = testkit::MakeQuadrantJpeg(30, 40, testkit::JpegKind::kBaseline);
  testkit::WriteFileBytes(folder.File("picture.jpg"), picture);
  std::filesystem::create_directory(folder.File("pages"));
  testkit::Http2Server server(certificate, folder.File("picture.jpg"),
                              std::chrono::milliseconds(20), folder.File("pages"));
  testkit::WriteFileBytes(folder.File("pages/list.htm"),
                          testkit::CataloguePage("T", testkit::NumberedCells(12, [&](int n) {
                                                   return server.Url("/p/" + std::to_string(n));
                                                 })));
  testkit::TempDir out;
  ASSERT_EQ(
      testkit::RunInFolder(testkit::FolderRequest(server.Url("/pages/list.htm"), out.path())).error,
      "");
  EXPECT_EQ(testkit::ReadFileBytes(out.File("run_images/00000012_1.jpg")), picture);
  EXPECT_EQ(server.Counts().sessions, 1);
}

// Streams paused for the budget share their connection with the one the converter waits for.
TEST(Http2Test, StreamsPausedForTheBudgetStillArriveWholeAndInOrder) {
  testkit::TempDir folder;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(folder.path());
  const testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  std::string picture = testkit::MakeQuadrantJpeg(30, 40, testkit::JpegKind::kBaseline);
  picture.resize(std::size_t{3} << 20, 'x');  // padding after the picture is kept as it is
  testkit::WriteFileBytes(folder.File("picture.jpg"), picture);
  testkit::Http2Server server(certificate, folder.File("picture.jpg"),
                              std::chrono::milliseconds(0));
  std::vector<std::string> addresses;
  for (int n = 0; n < 8; ++n) addresses.push_back(server.Url("/p/" + std::to_string(n) + ".jpg"));
  PictureQueueSettings settings;
  settings.orientation = 0;
  settings.threads = 2;
  settings.budgetBytes = std::size_t{1} << 20;
  PictureQueue queue(addresses, AddressResolver::ForWebPage(server.Url("/list.htm")), settings,
                     std::make_unique<TransferEngine>(6), {});
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(queue.Take(i).bytes, picture) << addresses[i];
  }
  EXPECT_LE(queue.PeakBytesHeld(), settings.budgetBytes + picture.size());
  // Streams open together on one connection rather than a count of connections: libcurl 7.88 asks
  // again on a fresh connection when a stream is refused, which is its choice, not the engine's.
  EXPECT_GE(server.Counts().mostStreamsOpen, 2);
}

}  // namespace
}  // namespace picsheet
