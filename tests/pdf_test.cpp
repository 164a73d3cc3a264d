// picsheet-cli --pdf: the bundled sample printed through the window program's engine, measured
// with poppler's tools.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::ProcessResult;
using testkit::RunProcess;

// Serves examples/ with the sample's links pointed at this server.
class SampleServer {
 public:
  SampleServer()
      : server_([this](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get("/catalogue.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page_, "text/html");
          });
        }) {
    page_ = testkit::SampleCatalogue(server_.port());
  }
  std::string Url() const { return server_.Url("/catalogue.htm"); }

 private:
  std::string page_;
  testkit::LoopbackServer server_;
};

TEST(PdfExport, TheSamplePrintsOnA4AtTrueSize) {
  SampleServer server;
  testkit::TempDir out;
  const std::string pdf = out.File("sample.pdf");
  // Five cells of 3.8 cm fill the 19 cm between the 1 cm margins exactly.
  const ProcessResult run =
      RunProcess(PICSHEET_CLI, {"--cells", "5", "--session", "sample", "--output-dir", out.path(),
                                "--pdf", pdf, server.Url()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, out.File("sample.html") + "\n");

  const ProcessResult info = RunProcess("/usr/bin/pdfinfo", {pdf});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("(A4)"), std::string::npos) << info.out;
  // Eight cells in two rows of pictures about 5.4 cm tall: one page.
  EXPECT_NE(info.out.find("Pages:           1\n"), std::string::npos) << info.out;

  // Every picture is in the PDF at its pixel size; its printed width follows from the ppi.
  const ProcessResult images = RunProcess("/usr/bin/pdfimages", {"-list", pdf});
  ASSERT_EQ(images.exitCode, 0) << images.err;
  std::istringstream lines(images.out);
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  int count = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string page, num, type, color, enc, interp;
    int width = 0, height = 0, comp = 0, bpc = 0, object = 0, generation = 0, xppi = 0;
    fields >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc >> interp >>
        object >> generation >> xppi;
    ASSERT_GT(xppi, 0) << line;
    const double widthCm = 2.54 * width / xppi;
    EXPECT_NEAR(widthCm, 3.8, 0.1) << line;
    ++count;
  }
  EXPECT_EQ(count, 8);
}

TEST(PdfExport, WithoutTheWindowProgramTheErrorSaysSo) {
  SampleServer server;
  testkit::TempDir bin;
  const std::string lonely = bin.File("picsheet-cli");
  std::filesystem::copy_file(PICSHEET_CLI, lonely);
  std::filesystem::permissions(lonely, std::filesystem::perms::owner_all);
  const ProcessResult run =
      RunProcess(lonely, {"--output-dir", bin.path(), "--pdf", bin.File("x.pdf"), server.Url()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "error: Cannot create PDF: the window program " + bin.File("picsheet") +
                         " (Qt WebEngine) is not installed.\n");
  EXPECT_FALSE(testkit::PathExists(bin.File("x.pdf")));
}

}  // namespace
}  // namespace picsheet
