// picsheet-cli end to end on catalogues as the web serves them: picture addresses relative to
// their page (directly, behind a redirect, in a web archive's layout), saved pages with their
// pictures beside them, and web pages that name local files.
#include <gtest/gtest.h>

#include <jerror.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ProcessResult;
using testkit::ReadFileBytes;
using testkit::SnapshotFolder;
using testkit::TempDir;

ProcessResult Cli(const std::vector<std::string>& args, const std::string& cwd = "") {
  return testkit::RunProcess(PICSHEET_CLI, args, cwd);
}

// Picture k of a catalogue: upright, so it is saved as it came, and of a size of its own, so
// every saved file tells which answer it holds.
std::string Picture(int k) {
  return testkit::MakeQuadrantJpeg(24 + 2 * k, 40 + 2 * k, testkit::JpegKind::kBaseline);
}

// A catalogue of one picture for each number 1, 2, ..., at these addresses as the page holds them.
std::string Catalogue(const std::vector<std::string>& addresses) {
  return testkit::CataloguePage("T",
                                testkit::NumberedCells(static_cast<int>(addresses.size()),
                                                       [&](int n) { return addresses[n - 1]; }));
}

// NAME_images/ file of picture k (one picture per number).
std::string PictureFile(const TempDir& out, const std::string& name, int k) {
  return out.File(name + "_images/0000000" + std::to_string(k) + "_1.jpg");
}

// A loopback web site whose answers the test sets, each for a request target as the request line
// holds it (path and query); any other target answers 404 with an HTML page. It records the
// targets asked.
class Site {
 public:
  explicit Site(const testkit::LoopbackCertificate* certificate = nullptr) {
    const auto routes = [this](httplib::Server& s) {
      s.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        asked_.push_back(req.target);
        const auto found = answers_.find(req.target);
        if (found == answers_.end()) {
          res.status = 404;
          res.set_content("<html>Not found</html>", "text/html");
        } else if (found->second.redirect) {
          res.set_redirect(found->second.body, 301);
        } else {
          res.set_content(found->second.body, found->second.type);
        }
      });
    };
    server_ = certificate ? std::make_unique<testkit::LoopbackServer>(routes, *certificate)
                          : std::make_unique<testkit::LoopbackServer>(routes);
  }

  void Serve(const std::string& target, std::string body, std::string type = "image/jpeg") {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[target] = {std::move(body), std::move(type), false};
  }
  // A 301 to location.
  void Move(const std::string& target, std::string location) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[target] = {std::move(location), "", true};
  }
  std::string Url(const std::string& target) const { return server_->Url(target); }
  int port() const { return server_->port(); }
  // "127.0.0.1:PORT"
  std::string Authority() const { return "127.0.0.1:" + std::to_string(port()); }
  // Every target asked so far, sorted (transfers run side by side).
  std::vector<std::string> Asked() {
    server_->Url("");  // takes back what the handlers recorded
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> asked = asked_;
    std::sort(asked.begin(), asked.end());
    return asked;
  }
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.clear();
  }

 private:
  struct Answer {
    std::string body;  // the Location of a redirect
    std::string type;
    bool redirect = false;
  };
  std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> asked_;
  std::unique_ptr<testkit::LoopbackServer> server_;
};

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

// Runs source into a fresh folder and checks the whole run against a run of reference (the same
// catalogue, its pictures at absolute addresses) saved under the name source derives: exit 0,
// the page's path the only line on stdout, nothing on stderr, every file written the same, and
// each of pictures 1..count but the one turned saved as Picture(k), byte for byte.
void ExpectRunLikeReference(const std::string& source, const std::string& name,
                            const std::string& reference, int count, int turned = 0,
                            const std::string& cwd = "") {
  TempDir out;
  const ProcessResult run = Cli({"--output-dir", out.path(), source}, cwd);
  ASSERT_EQ(run.exitCode, 0) << source << ": " << run.err;
  EXPECT_EQ(run.out, out.File(name + ".html") + "\n") << source;
  EXPECT_EQ(run.err, "") << source;
  TempDir expected;
  const ProcessResult referenceRun =
      Cli({"--session", name, "--output-dir", expected.path(), reference});
  ASSERT_EQ(referenceRun.exitCode, 0) << reference << ": " << referenceRun.err;
  EXPECT_EQ(SnapshotFolder(out.path()), SnapshotFolder(expected.path())) << source;
  for (int k = 1; k <= count; ++k) {
    if (k == turned) continue;
    ASSERT_TRUE(PathExists(PictureFile(out, name, k))) << source << " picture " << k;
    EXPECT_EQ(ReadFileBytes(PictureFile(out, name, k)), Picture(k)) << source << " picture " << k;
  }
}

// Each form of relative address a page may hold, resolved against the page's address after
// redirects, over http and https; the server is asked for the resolved addresses and nothing
// else, "&amp;" in a query arriving as "&".
TEST(PageAddressesCli, RelativeAddressesResolveAgainstThePagesFinalAddress) {
  TempDir keys;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(keys.path());
  testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  const struct {
    bool https;
    std::string source;  // the target the run starts from
    std::string name;    // the save name it derives, after the port
  } kRuns[] = {
      {false, "/cat/list.htm", "catlisthtm"},
      {true, "/cat/list.htm", "catlisthtm"},
      {false, "/old/deeper/start.htm", "olddeeperstarthtm"},
      {true, "/old/deeper/start.htm", "olddeeperstarthtm"},
  };
  for (const auto& run : kRuns) {
    Site site(run.https ? &certificate : nullptr);
    Site other(run.https ? &certificate : nullptr);  // the host of a scheme-relative address
    site.Serve("/cat/list.htm",
               Catalogue({"img/1.jpg", "/abs/2.jpg", "//" + other.Authority() + "/3.jpg",
                          "../up/4.jpg", "?q=1", "show.php?id=6&amp;s=2"}),
               "text/html");
    site.Move("/old/deeper/start.htm", "/cat/list.htm");
    const std::vector<std::string> targets = {
        "/cat/img/1.jpg", "/abs/2.jpg",        "",
        "/up/4.jpg",      "/cat/list.htm?q=1", "/cat/show.php?id=6&s=2"};
    std::vector<std::string> absolute;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const int k = static_cast<int>(i) + 1;
      if (targets[i].empty()) {
        other.Serve("/3.jpg", Picture(k));
        absolute.push_back(other.Url("/3.jpg"));
      } else {
        site.Serve(targets[i], Picture(k));
        absolute.push_back(site.Url(targets[i]));
      }
    }
    site.Serve("/reference.htm", Catalogue(absolute), "text/html");

    const std::string source = site.Url(run.source);
    ExpectRunLikeReference(source, std::to_string(site.port()) + run.name,
                           site.Url("/reference.htm"), 6);
    // The run's requests, then the reference run's.
    std::vector<std::string> asked = {run.source, "/reference.htm"};
    if (run.source != "/cat/list.htm") asked.push_back("/cat/list.htm");
    for (const std::string& target : targets) {
      if (!target.empty()) asked.insert(asked.end(), {target, target});
    }
    EXPECT_EQ(site.Asked(), Sorted(asked)) << source;
    EXPECT_EQ(other.Asked(), (std::vector<std::string>{"/3.jpg", "/3.jpg"})) << source;
  }
}

// A Windows-1251 page's Cyrillic file names are asked in UTF-8, as browsers ask, and where that
// answers 404 once more as written (an old server's names); one found neither way names both.
TEST(PageAddressesCli, CyrillicNamesAreAskedInUtf8ThenAsWritten) {
  Site site;
  const std::string karta = "\xEA\xE0\xF0\xF2\xE0", utf8 = "%D0%BA%D0%B0%D1%80%D1%82%D0%B0";
  site.Serve("/list.htm",
             "<meta charset=windows-1251>" +
                 Catalogue({karta + ".jpg", "old/" + karta + ".jpg", "/no/" + karta + ".jpg"}),
             "text/html");
  site.Serve("/" + utf8 + ".jpg", Picture(1));
  site.Serve("/old/%EA%E0%F0%F2%E0.jpg", Picture(2));
  TempDir out;
  const ProcessResult run =
      Cli({"--keep-going", "--output-dir", out.path(), site.Url("/list.htm")});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err,
            "skipped: picture \"3\" #1 in cell 3, /no/\u043A\u0430\u0440\u0442\u0430.jpg: in "
            "UTF-8, the server answered 404 Not Found with text/html; as written, the "
            "server answered 404 Not Found with text/html\n");
  const std::string name = std::to_string(site.port()) + "listhtm";
  EXPECT_EQ(ReadFileBytes(PictureFile(out, name, 1)), Picture(1));
  EXPECT_EQ(ReadFileBytes(PictureFile(out, name, 2)), Picture(2));
  EXPECT_EQ(site.Asked(), Sorted({"/list.htm", "/" + utf8 + ".jpg", "/old/" + utf8 + ".jpg",
                                  "/old/%EA%E0%F0%F2%E0.jpg", "/no/" + utf8 + ".jpg",
                                  "/no/%EA%E0%F0%F2%E0.jpg"}));
}

// A web archive's page: https, its picture addresses root-relative with the archived site's
// address inside them, reached directly or through the archive's redirect to its snapshot.
TEST(PageAddressesCli, AnArchivedPageFindsItsPicturesOnTheArchivesHost) {
  TempDir keys;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(keys.path());
  testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  Site archive(&certificate);
  const std::string snapshot = "/web/20050101000000/http://old-site/cat.htm";
  const std::vector<std::string> targets = {"/web/20050101000000im_/http://old-site/img/1.jpg",
                                            "/web/20050101000000im_/http://old-site/img/2.jpg",
                                            "/web/20050101000000/http://old-site/img/3.jpg"};
  archive.Serve(snapshot, Catalogue({targets[0], targets[1], "img/3.jpg"}), "text/html");
  archive.Move("/web/2005/http://old-site/cat.htm", snapshot);
  std::vector<std::string> absolute;
  for (int k = 1; k <= 3; ++k) {
    archive.Serve(targets[static_cast<std::size_t>(k - 1)], Picture(k));
    absolute.push_back(archive.Url(targets[static_cast<std::size_t>(k - 1)]));
  }
  archive.Serve("/reference.htm", Catalogue(absolute), "text/html");

  for (const std::string& source : {snapshot, std::string("/web/2005/http://old-site/cat.htm")}) {
    archive.Forget();
    // The save name is what follows the last ":", that of "http://old-site".
    ExpectRunLikeReference(archive.Url(source), "old-sitecathtm", archive.Url("/reference.htm"), 3);
    std::vector<std::string> asked = {source, "/reference.htm"};
    if (source != snapshot) asked.push_back(snapshot);
    for (const std::string& target : targets) asked.insert(asked.end(), {target, target});
    EXPECT_EQ(archive.Asked(), Sorted(asked)) << source;
  }
}

// A page saved with a browser: its pictures in cat_files/ beside it, beside it, elsewhere on
// disk as a file: URL, with a percent-encoded blank, one to be turned, one on the web. Each is
// saved as the same picture downloaded would be.
TEST(SavedPageCli, PicturesBesideASavedPageAreReadFromDiskLikeDownloadedOnes) {
  TempDir root;
  const std::string folder = root.File("saved pages");
  std::filesystem::create_directories(folder + "/cat_files");
  std::filesystem::create_directory(root.File("elsewhere"));
  const std::string wide =
      testkit::MakeQuadrantJpeg(64, 40, testkit::JpegKind::kBaseline);  // landscape: turned
  const std::vector<std::pair<std::string, std::string>> kPictures = {
      {"cat_files/1.jpg", folder + "/cat_files/1.jpg"},
      {"./x.jpg", folder + "/x.jpg"},
      {"file://" + root.File("elsewhere/y.jpg"), root.File("elsewhere/y.jpg")},
      {"cat_files/4%20b.jpg", folder + "/cat_files/4 b.jpg"},
      {"cat_files/5.jpg", folder + "/cat_files/5.jpg"},
      {"", ""},  // 6: on the web
  };
  Site web;
  std::vector<std::string> addresses;
  std::vector<std::string> reference;
  for (std::size_t i = 0; i < kPictures.size(); ++i) {
    const int k = static_cast<int>(i) + 1;
    const std::string bytes = k == 5 ? wide : Picture(k);
    const std::string served = "/" + std::to_string(k) + ".jpg";
    web.Serve(served, bytes);
    reference.push_back(web.Url(served));
    if (kPictures[i].second.empty()) {
      addresses.push_back(web.Url(served));
    } else {
      testkit::WriteFileBytes(kPictures[i].second, bytes);
      addresses.push_back(kPictures[i].first);
    }
  }
  testkit::WriteFileBytes(folder + "/cat.htm", Catalogue(addresses));
  web.Serve("/reference.htm", Catalogue(reference), "text/html");

  // Given as a path relative to the current folder, and as an absolute one.
  for (const auto& [source, cwd] : {std::pair{std::string("saved pages/cat.htm"), root.path()},
                                    std::pair{folder + "/cat.htm", std::string()}}) {
    ExpectRunLikeReference(source, "cathtm", web.Url("/reference.htm"), 6, 5, cwd);
  }
  // The reference run turned picture 5 as this one did: it stands upright now.
  TempDir out;
  ASSERT_EQ(Cli({"--output-dir", out.path(), folder + "/cat.htm"}).exitCode, 0);
  const testkit::DecodedJpeg turned =
      testkit::DecodeJpeg(ReadFileBytes(PictureFile(out, "cathtm", 5)));
  EXPECT_EQ(turned.width, 40);
  EXPECT_EQ(turned.height, 64);
}

// A saved page whose picture file is missing: the file's error at that picture, or with
// --keep-going an empty cell, the picture listed and exit status 3.
TEST(SavedPageCli, AMissingPictureFileFailsAtItsPicture) {
  TempDir root;
  const std::string folder = root.File("saved pages");
  std::filesystem::create_directories(folder + "/cat_files");
  testkit::WriteFileBytes(folder + "/cat_files/1.jpg", Picture(1));
  testkit::WriteFileBytes(folder + "/x.jpg", Picture(3));
  testkit::WriteFileBytes(folder + "/cat.htm",
                          Catalogue({"cat_files/1.jpg", "cat_files/gone.jpg", "./x.jpg"}));
  const std::string where = "picture \"2\" #1 in cell 2, cat_files/gone.jpg";
  // The message, which the list gives as the reason (reasons end without a full stop).
  const std::string designed =
      "Cannot open file \"" + folder + "/cat_files/gone.jpg\". No such file or directory";
  const struct {
    bool keepGoing;
    int exitCode;
    std::string err;
  } kRuns[] = {
      {false, 1, where + "\nerror: " + designed + ".\n"},
      {true, 3, "skipped: " + where + ": " + designed + "\n"},
  };
  for (const auto& run : kRuns) {
    TempDir out;
    std::vector<std::string> args = {"--output-dir", out.path(), folder + "/cat.htm"};
    if (run.keepGoing) args.insert(args.begin(), "--keep-going");
    const ProcessResult result = Cli(args);
    EXPECT_EQ(result.exitCode, run.exitCode) << result.err;
    EXPECT_EQ(result.err, run.err);
    EXPECT_EQ(ReadFileBytes(PictureFile(out, "cathtm", 1)), Picture(1));
    EXPECT_FALSE(PathExists(PictureFile(out, "cathtm", 2)));
    EXPECT_EQ(PathExists(out.File("cathtm.html")), run.keepGoing);
    if (run.keepGoing) {
      EXPECT_EQ(result.out, out.File("cathtm.html") + "\n");
      EXPECT_EQ(ReadFileBytes(PictureFile(out, "cathtm", 3)), Picture(3));
    } else {
      EXPECT_FALSE(PathExists(PictureFile(out, "cathtm", 3)));
    }
  }
}

// A page from the network that names a local file, which exists and is a good picture: it is
// never read. A file: URL fails as no web address; a path is a path on the page's server.
TEST(RemotePageCli, NeverReadsALocalFileItNames) {
  TempDir root;
  const std::string secret = root.File("secret.jpg");
  testkit::WriteFileBytes(secret, Picture(1));
  Site site;
  site.Serve("/2.jpg", Picture(2));
  const std::string kNoWebAddress = "not an http:// or https:// address";
  const struct {
    std::string address;
    std::string reason;
    std::string message;
  } kAddresses[] = {
      {"file://" + secret, kNoWebAddress, "Cannot open URL file://" + secret},
      {"file://localhost" + secret, kNoWebAddress, "Cannot open URL file://localhost" + secret},
      {"file:" + secret, kNoWebAddress, "Cannot open URL file:" + secret},
      {secret, "the server answered 404 Not Found with text/html",
       "JPEG error #" + std::to_string(JERR_NO_SOI)},
  };
  for (const auto& named : kAddresses) {
    site.Serve("/list.htm", Catalogue({named.address, "/2.jpg"}), "text/html");
    const std::string where = "picture \"1\" #1 in cell 1, " + named.address + ": " + named.reason;
    for (const bool keepGoing : {false, true}) {
      site.Forget();
      TempDir out;
      std::vector<std::string> args = {"--output-dir", out.path(), site.Url("/list.htm")};
      if (keepGoing) args.insert(args.begin(), "--keep-going");
      const ProcessResult run = Cli(args);
      const std::string name = std::to_string(site.port()) + "listhtm";
      EXPECT_EQ(run.exitCode, keepGoing ? 3 : 1) << named.address;
      EXPECT_EQ(run.err, keepGoing ? "skipped: " + where + "\n"
                                   : where + "\nerror: " + named.message + ".\n");
      EXPECT_FALSE(PathExists(PictureFile(out, name, 1))) << named.address;
      EXPECT_EQ(PathExists(out.File(name + ".html")), keepGoing) << named.address;
      if (keepGoing) {
        EXPECT_EQ(ReadFileBytes(PictureFile(out, name, 2)), Picture(2));
      }
      // A path goes to the page's server, as a browser would send it. Picture 2 may have been
      // asked for ahead of the converter also when the run ended at picture 1.
      std::vector<std::string> seen = site.Asked();
      std::erase(seen, "/2.jpg");
      std::vector<std::string> asked = {"/list.htm"};
      if (named.address == secret) asked.push_back(secret);
      EXPECT_EQ(seen, Sorted(asked)) << named.address << (keepGoing ? " --keep-going" : "");
    }
  }
}

}  // namespace
}  // namespace picsheet
