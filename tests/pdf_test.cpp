// The page on paper: picsheet-cli --pdf and the print path render a real many-picture catalogue,
// and poppler's tools measure every picture and caption in the PDF.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <QApplication>
#include <QPageSize>
#include <QPrinter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/window/paper_print.h"
#include "app/window/paper_render.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::ProcessResult;
using testkit::RunProcess;

constexpr double kMmPerPoint = 25.4 / 72;

// A catalogue of 104 numbers on the sample's pictures, with what breaks paper layouts: a title
// of 150 letters without a blank, every fifth number from 2 on with two pictures (rows of
// unequal cells), number 9 missing (an empty cell), number 30 written with 46 leading zeros (a
// 48-character caption) and a wrapper of its own height.
class CatalogueServer {
 public:
  explicit CatalogueServer(const std::string& title = "T" + std::string(150, 'X'))
      : server_([this](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get("/catalogue.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page_, "text/html");
          });
        }) {
    const char* pictures[] = {"p1.jpg", "p2a.jpg", "p2b.jpg", "p4.jpg", "p5.jpg", "p6.jpg"};
    auto cell = [this](const std::string& number, const std::string& picture) {
      return testkit::Cell(number, server_.Url("/pictures/" + picture));
    };
    std::string cells = cell("0", "wrapper.jpg");
    for (int n = 1; n <= 104; ++n) {
      if (n == 9) continue;
      const std::string number = n == 30 ? std::string(46, '0') + "30" : std::to_string(n);
      cells += cell(number, pictures[n % 6]);
      if (n % 5 == 2) cells += cell(number, "p7.jpg");
    }
    page_ = testkit::CataloguePage(title, cells);
  }
  std::string Url() const { return server_.Url("/catalogue.htm"); }

 private:
  std::string page_;
  testkit::LoopbackServer server_;
};

struct Box {
  int page = 0;
  double left = 0, top = 0, right = 0, bottom = 0;  // millimetres from the page's top left
  std::string text;                                 // words only
};

struct PdfLayout {
  std::vector<Box> pictures;
  std::vector<Box> words;
  double pageWidth = 0, pageHeight = 0;
  int pages = 0;
};

// Picture boxes from pdftocairo's SVG (each picture drawn by a matrix in points), word boxes
// from pdftotext -bbox.
PdfLayout Measure(const std::string& pdf) {
  PdfLayout layout;
  const ProcessResult svg = RunProcess("/usr/bin/pdftocairo", {"-svg", pdf, "-"});
  EXPECT_EQ(svg.exitCode, 0) << svg.err;
  std::map<std::string, std::pair<double, double>> pixels;  // picture id: width, height
  const std::regex definition(R"re(<image id="([^"]+)" width="(\d+)" height="(\d+)")re");
  for (std::sregex_iterator it(svg.out.begin(), svg.out.end(), definition), end; it != end; ++it) {
    pixels[(*it)[1]] = {std::stod((*it)[2]), std::stod((*it)[3])};
  }
  const std::regex use(
      R"re(<page>|<use xlink:href="#([^"]+)" transform="matrix\(([-\d.]+),[-\d.]+,[-\d.]+,([-\d.]+),([-\d.]+),([-\d.]+)\)")re");
  int page = 0;
  for (std::sregex_iterator it(svg.out.begin(), svg.out.end(), use), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (!m[1].matched) {
      ++page;
      continue;
    }
    const auto found = pixels.find(m[1]);
    if (found == pixels.end()) continue;  // a glyph
    const double left = std::stod(m[4]) * kMmPerPoint, top = std::stod(m[5]) * kMmPerPoint;
    // A one-page document has no <page> elements.
    layout.pictures.push_back({std::max(page, 1), left, top,
                               left + std::stod(m[2]) * found->second.first * kMmPerPoint,
                               top + std::stod(m[3]) * found->second.second * kMmPerPoint, ""});
  }

  const ProcessResult words = RunProcess("/usr/bin/pdftotext", {"-bbox", pdf, "-"});
  EXPECT_EQ(words.exitCode, 0) << words.err;
  const std::regex word(
      R"re(<page width="([\d.]+)" height="([\d.]+)"|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  page = 0;
  for (std::sregex_iterator it(words.out.begin(), words.out.end(), word), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1].matched) {
      ++page;
      layout.pageWidth = std::stod(m[1]) * kMmPerPoint;
      layout.pageHeight = std::stod(m[2]) * kMmPerPoint;
      continue;
    }
    layout.words.push_back({page, std::stod(m[3]) * kMmPerPoint, std::stod(m[4]) * kMmPerPoint,
                            std::stod(m[5]) * kMmPerPoint, std::stod(m[6]) * kMmPerPoint, m[7]});
  }
  layout.pages = page;
  return layout;
}

bool IsCaption(const Box& word) {
  return !word.text.empty() && std::all_of(word.text.begin(), word.text.end(),
                                           [](char c) { return c >= '0' && c <= '9'; });
}

// What a collector cuts out: every picture at the cell width, every caption right under its
// cell's pictures on their page (the empty cell's caption under nothing) and every picture right
// above the next of its cell or its caption, no page beginning with a caption; pictureCount
// pictures in all.
void ExpectCutOutSheet(const PdfLayout& layout, double cellWidthMm, std::size_t pictureCount) {
  EXPECT_EQ(layout.pictures.size(), pictureCount);
  for (const Box& picture : layout.pictures) {
    EXPECT_NEAR(picture.right - picture.left, cellWidthMm, 0.2)
        << "page " << picture.page << " at " << picture.left << ", " << picture.top;
  }
  std::size_t captions = 0;
  for (const Box& word : layout.words) {
    if (!IsCaption(word)) continue;
    ++captions;
    // The nearest box above in the word's column on its page: its cell's last picture, or the
    // caption's own line before when it wraps.
    const double middle = (word.left + word.right) / 2;
    const Box* above = nullptr;
    for (const std::vector<Box>* boxes : {&layout.pictures, &layout.words}) {
      for (const Box& box : *boxes) {
        if (box.page != word.page || box.left > middle || box.right < middle) continue;
        if (box.bottom > word.top + 0.5 || (above != nullptr && box.bottom <= above->bottom)) {
          continue;
        }
        if (boxes == &layout.words && !IsCaption(box)) continue;
        above = &box;
      }
    }
    if (word.text == "9") {
      EXPECT_TRUE(above == nullptr || word.top - above->bottom > 10) << "the empty cell";
      continue;
    }
    ASSERT_NE(above, nullptr) << "caption " << word.text << " starts page " << word.page;
    EXPECT_LT(word.top - above->bottom, 3) << "caption " << word.text << " on page " << word.page;
  }
  EXPECT_GE(captions, 105u);
  // Below every picture, on its page, the next picture of its cell or its caption: a cell's
  // pictures are not split from each other or from their caption.
  for (const Box& picture : layout.pictures) {
    double below = 1e9;
    for (const std::vector<Box>* boxes : {&layout.pictures, &layout.words}) {
      for (const Box& box : *boxes) {
        const bool overlaps = box.left < picture.right - 0.5 && box.right > picture.left + 0.5;
        if (box.page != picture.page || !overlaps) continue;
        if (box.top < picture.bottom - 0.5 || (boxes == &layout.words && !IsCaption(box))) {
          continue;
        }
        below = std::min(below, box.top - picture.bottom);
      }
    }
    EXPECT_LT(below, 3) << "nothing under the picture at " << picture.left << ", " << picture.top
                        << " on page " << picture.page;
  }
  // A page's first line is pictures: no caption stands above every picture of its page.
  for (const Box& word : layout.words) {
    if (!IsCaption(word)) continue;
    EXPECT_TRUE(std::any_of(layout.pictures.begin(), layout.pictures.end(),
                            [&](const Box& p) { return p.page == word.page && p.top < word.top; }))
        << "page " << word.page << " begins with caption " << word.text;
  }
}

std::size_t PicturesInPage(const std::string& html) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = html.find("<img src=", at)) != std::string::npos; ++at) ++count;
  return count;
}

struct SheetCase {
  int cells;
  double cellWidthCm;  // as the page writes it
  const char* paper;
  const char* pageSize;  // as pdfinfo names it
};

class PaperSheet : public ::testing::TestWithParam<SheetCase> {};

// Full rows of 19.2, 19.6 and 20 cm print at true size too: the margins give way, not the sheet.
// Two cells of 9.5 cm put rows of 13 and 27 cm on pages of 27.7: each must move whole.
TEST_P(PaperSheet, EveryPictureAtItsSizeWithItsCaption) {
  const SheetCase& sheet = GetParam();
  CatalogueServer server;
  testkit::TempDir out;
  const std::string pdf = out.File("sheet.pdf");
  const ProcessResult run = RunProcess(
      PICSHEET_CLI, {"--cells", std::to_string(sheet.cells), "--session", "sheet", "--output-dir",
                     out.path(), "--paper", sheet.paper, "--pdf", pdf, server.Url()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no warning: nothing was scaled

  const ProcessResult info = RunProcess("/usr/bin/pdfinfo", {pdf});
  EXPECT_NE(info.out.find(sheet.pageSize), std::string::npos) << info.out;
  // The usual mode of a new file, not a private one.
  const mode_t umask = ::umask(0);
  ::umask(umask);
  EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(pdf).permissions()), 0666 & ~umask);

  ExpectCutOutSheet(Measure(pdf), sheet.cellWidthCm * 10,
                    PicturesInPage(testkit::ReadFileBytes(out.File("sheet.html"))));
}

INSTANTIATE_TEST_SUITE_P(
    CellCounts, PaperSheet,
    ::testing::Values(SheetCase{2, 9.5, "a4", "(A4)"}, SheetCase{3, 6.3, "a4", "(A4)"},
                      SheetCase{4, 4.8, "a4", "(A4)"}, SheetCase{10, 1.9, "letter", "(letter)"},
                      SheetCase{14, 1.4, "a4", "(A4)"}, SheetCase{20, 1.0, "a4", "(A4)"}));

// The print dialog's page setup is what the sheet is laid out on; the printer gets the same
// vector PDF as the PDF button: 14 cells (19.6 cm) on Letter, whose 1 cm margins leave 19.59 cm,
// and on A5, which even 5 mm margins leave too narrow.
TEST(PaperPrint, ThePrinterGetsTheSameSheet) {
  CatalogueServer server;
  testkit::TempDir out;
  const ProcessResult run = RunProcess(PICSHEET_CLI, {"--cells", "14", "--session", "sheet",
                                                      "--output-dir", out.path(), server.Url()});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  int argc = 1;
  char name[] = "pdf_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const QString page = QString::fromStdString(out.File("sheet.html"));
  const std::size_t pictures = PicturesInPage(testkit::ReadFileBytes(out.File("sheet.html")));
  struct {
    QPageSize::PageSizeId paper;
    double widthMm, heightMm;
    double scale;  // A5 leaves 392 of the table's 555.6 pt, less 0.75 pt of room
  } const papers[] = {{QPageSize::Letter, 215.9, 279.4, 1},
                      {QPageSize::A5, 148, 210, (392 - 0.75) / 555.59}};
  for (const auto& paper : papers) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = out.File("printed.pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setPageLayout(QPageLayout(QPageSize(paper.paper), QPageLayout::Portrait,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
    const PaperOutcome outcome = RenderPaper({page}, printer.pageLayout());
    ASSERT_TRUE(outcome.succeeded) << outcome.error.toStdString();
    SendToPrinter(outcome.pdf, printer);
    EXPECT_NEAR(outcome.fit.scale, paper.scale, 1e-4);
    // Scaling is announced, with the scale.
    EXPECT_EQ(ScaleWarning(outcome.fit).contains(QStringLiteral("70.4 %")), paper.scale < 1);

    const PdfLayout layout = Measure(pdf);
    EXPECT_NEAR(layout.pageWidth, paper.widthMm, 0.2);
    EXPECT_NEAR(layout.pageHeight, paper.heightMm, 0.2);
    ExpectCutOutSheet(layout, 14 * paper.scale, pictures);
  }
}

// Margins give way symmetrically, in whole points, down to 14 pt (5 mm); only then is the sheet
// scaled. Page layouts give points whole: A4 is 595 pt wide, 1 cm is 28 pt.
TEST(PaperFit, MarginsShrinkBeforeTheSheetIsScaled) {
  struct {
    double tableMm;
    double leftCm, rightCm;     // asked for
    double left, right, scale;  // given, in points
  } const cases[] = {
      {180, 1, 1, 28, 28, 1}, {190, 1, 1, 27, 27, 1},       {196, 1, 1, 19, 19, 1},
      {200, 1, 1, 14, 14, 1}, {205, 1, 1, 14, 14, 0.97444}, {190, 2, 0.4, 44, 11, 1},
  };
  for (const auto& c : cases) {
    const PaperFit fit = FitToPaper(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(c.leftCm * 10, 10, c.rightCm * 10, 10), QPageLayout::Millimeter),
        c.tableMm);
    const QMarginsF margins = fit.layout.margins(QPageLayout::Point);
    EXPECT_NEAR(margins.left(), c.left, 1e-6) << c.tableMm;
    EXPECT_NEAR(margins.right(), c.right, 1e-6) << c.tableMm;
    EXPECT_EQ(margins.top(), 28);
    EXPECT_NEAR(fit.scale, c.scale, 1e-4) << c.tableMm;
    EXPECT_EQ(fit.layout.pageSize().id(), QPageSize::A4);
  }
}

// Two saved pages in one PDF: the second from the sheet after the first's last, every picture of
// both at its size with its caption.
TEST(PdfExport, ABookletStartsEachPageOnANewSheet) {
  testkit::TempDir out;
  int pagesAlone = 0, firstPages = 0;
  std::size_t pictures = 0;
  for (const std::string name : {"first", "second"}) {
    CatalogueServer server(name == "first" ? "T" + std::string(150, 'X') : "Second catalogue");
    const ProcessResult run =
        RunProcess(PICSHEET_CLI, {"--cells", "4", "--session", name, "--output-dir", out.path(),
                                  "--pdf", out.File(name + ".pdf"), server.Url()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    pagesAlone += Measure(out.File(name + ".pdf")).pages;
    if (name == "first") firstPages = pagesAlone;
    pictures += PicturesInPage(testkit::ReadFileBytes(out.File(name + ".html")));
  }
  const std::string window = std::filesystem::path(PICSHEET_CLI).parent_path() / "picsheet";
  const ProcessResult run =
      RunProcess(window, {"--export-pdf", out.File("first.html"), out.File("second.html"),
                          out.File("booklet.pdf"), "--paper", "a4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const PdfLayout booklet = Measure(out.File("booklet.pdf"));
  EXPECT_EQ(booklet.pages, pagesAlone);
  const auto title = std::find_if(booklet.words.begin(), booklet.words.end(),
                                  [](const Box& word) { return word.text == "Second"; });
  ASSERT_NE(title, booklet.words.end());
  EXPECT_EQ(title->page, firstPages + 1);
  ExpectCutOutSheet(booklet, 48, pictures);
}

TEST(PdfExport, AFileThatCannotBeWrittenSaysWhy) {
  CatalogueServer server;
  testkit::TempDir out;
  const std::string pdf = out.File("missing/x.pdf");
  const ProcessResult run =
      RunProcess(PICSHEET_CLI, {"--output-dir", out.path(), "--pdf", pdf, server.Url()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "error: Cannot create file \"" + pdf + "\". No such file or directory.\n");
}

// A SIGTERM sent to picsheet-cli alone (not its process group) while the renderer runs stops
// the renderer too: no PDF, "Interrupted", 143.
TEST(PdfExport, ASignalDuringRenderingStopsIt) {
  CatalogueServer server;
  testkit::TempDir out;
  const std::string pdf = out.File("x.pdf");
  const ProcessResult run = RunProcess(
      PICSHEET_CLI, {"--output-dir", out.path(), "--pdf", pdf, server.Url()}, "", [](pid_t cli) {
        const std::string children =
            "/proc/" + std::to_string(cli) + "/task/" + std::to_string(cli) + "/children";
        for (int i = 0; i < 1000 && testkit::ReadFileBytes(children).empty(); ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(cli, SIGTERM);
      });
  EXPECT_EQ(run.exitCode, 143);
  EXPECT_EQ(run.err, "error: Interrupted.\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(testkit::PathExists(pdf));
}

TEST(PdfExport, WithoutTheWindowProgramTheErrorSaysSo) {
  CatalogueServer server;
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
