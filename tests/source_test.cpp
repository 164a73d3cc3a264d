// Loading a source page: local files block by block, and the choice between file and link.
#include "convert/source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
using testkit::TempDir;

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

class LoadLocalFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.File(name);
    testkit::WriteFileBytes(path, bytes);
    return path;
  }
  TempDir dir_;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, ' ');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

TEST_F(LoadLocalFileTest, BlockBoundaries) {
  EXPECT_EQ(LoadLocalFile(Write("empty", "")), "");
  EXPECT_EQ(LoadLocalFile(Write("one-block", Pattern(10240))), Pattern(10240));
  EXPECT_EQ(LoadLocalFile(Write("one-more", Pattern(10241))), Pattern(10241));
}

TEST_F(LoadLocalFileTest, AZeroByteCutsOnlyItsOwnBlock) {
  std::string bytes = Pattern(40000);
  bytes[24999] = '\0';  // byte 25000, in the third block (bytes 20481 to 30720)
  const std::string expected = bytes.substr(0, 24999) + bytes.substr(30720);
  EXPECT_EQ(LoadLocalFile(Write("zero", bytes)), expected);
}

TEST_F(LoadLocalFileTest, FilesThatCannotBeOpened) {
  const std::string missing = dir_.File("missing.htm");
  EXPECT_EQ(ThrownMessage([&] { LoadLocalFile(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(ThrownMessage([&] { LoadLocalFile(dir_.path()); }),
            "Cannot open file \"" + dir_.path() + "\". Is a directory");
  // Relative paths are reported made absolute, lexically.
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(
      ThrownMessage([] { LoadLocalFile("./sub/../nothing-here.htm"); }),
      "Cannot open file \"" + std::string(cwd) + "/nothing-here.htm\". No such file or directory");
}

TEST(IsLinkTest, HttpOrHttpsInAnyCaseAfterBlanks) {
  const struct {
    const char* text;
    bool link;
  } kCases[] = {
      {"http://host/a.htm", true},
      {"https://host/a.htm", true},
      {"HTTP://host/a.htm", true},
      {"HtTpS://host/a.htm", true},
      {" \t\r\nhttps://h/a \n", true},
      // A no-break space, a byte-order mark, zero-width and narrow spaces copied along.
      {"\xEF\xBB\xBFhttp://host/a.htm", true},
      {"\xC2\xA0\xE2\x80\x8B\xE2\x80\xAF https://host/a.htm\xC2\xA0", true},
      {"\xE2\x80\x89\xE3\x80\x80http://host/a.htm", true},
      {"\xC2\xA1http://host/a.htm", false},
      {"http://", true},
      {"http:/host/a.htm", false},
      {"https:host", false},
      {"ftp://host/a.htm", false},
      {"file:///home/u/a.htm", false},
      {"\vhttp://host/a.htm", false},
      {"/home/u/http://host/a.htm", false},
      {"host/a.htm", false},
      {" ", false},
      {"", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsLink(c.text), c.link) << c.text;
}

TEST(LoadSourceTest, LinksInAnyPastedFormAreFetchedAndTheRestReadAsFiles) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/page.htm", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("fetched", "text/html");
    });
  });
  const std::string link = server.Url("/page.htm");
  for (const std::string& pasted : {link, "HTTP" + link.substr(4), " \t" + link + "\r\n",
                                    "\xEF\xBB\xBF" + link + "\xC2\xA0\xE2\x80\x8B"}) {
    const LoadedPage page = LoadSource(pasted);
    EXPECT_EQ(page.text, "fetched") << pasted;
    EXPECT_EQ(page.addresses.page(), link) << pasted;
  }

  for (const std::string& fileLike :
       {std::string("http:/"), std::string("ftp://127.0.0.1/x"), link.substr(7)}) {
    std::string pageText = "kept";
    EXPECT_EQ(
        ThrownMessage([&] { LoadSource(fileLike, pageText); }).rfind("Cannot open file \"", 0), 0u)
        << fileLike;
    EXPECT_EQ(pageText, "kept") << "an error leaves PageText as it was";
  }
}

TEST(LoadSourceTest, AnEmptySourceNamesNoFolder) {
  EXPECT_EQ(ThrownMessage([] { LoadSource(""); }),
            "Cannot open file \"\". No such file or directory");
}

TEST(LoadSourceTest, AnHttpsPageResolvesItsAddressesAgainstItsFinalAddress) {
  TempDir dir;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(dir.path());
  testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  LoopbackServer server(
      [](httplib::Server& s) {
        s.Get("/old.htm", [](const httplib::Request&, httplib::Response& res) {
          res.set_redirect("/new/cat/list.htm", 301);
        });
        s.Get("/new/cat/list.htm", [](const httplib::Request&, httplib::Response& res) {
          res.set_content("catalogue", "text/html");
        });
      },
      certificate);
  const std::string page = server.Url("/new/cat/list.htm");
  ASSERT_EQ(page.rfind("https://", 0), 0u);
  for (const std::string& source :
       {page, server.Url("/old.htm"), " " + server.Url("/old.htm") + "\n"}) {
    const LoadedPage loaded = LoadSource(source);
    EXPECT_EQ(loaded.text, "catalogue") << source;
    EXPECT_EQ(loaded.addresses.page(), page) << source;
    for (const auto& [address, where] :
         {std::pair{"img/1.jpg", "/new/cat/img/1.jpg"}, std::pair{"/abs/2.jpg", "/abs/2.jpg"},
          std::pair{"../up/4.jpg", "/new/up/4.jpg"},
          std::pair{"a.php?x=1&amp;y=2", "/new/cat/a.php?x=1&y=2"}}) {
      const PictureLocation location = loaded.addresses.Resolve(address);
      EXPECT_EQ(location.kind, PictureLocation::Kind::kWeb) << address;
      EXPECT_EQ(location.where, server.Url(where)) << source << " " << address;
    }
    EXPECT_EQ(loaded.addresses.Resolve("file://" + dir.File("loopback-key.pem")).kind,
              PictureLocation::Kind::kRefused);
  }
}

TEST(LoadSourceTest, AnHttpErrorStatusFailsHttpsPagesAsHttpOnes) {
  TempDir dir;
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(dir.path());
  testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  const auto routes = [](httplib::Server& s) {
    s.Get("/gone.htm", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<h1>Not here</h1>", "text/html");
    });
  };
  LoopbackServer http(routes);
  LoopbackServer https(routes, certificate);
  for (const std::string& link : {http.Url("/gone.htm"), https.Url("/gone.htm")}) {
    try {
      LoadSource(" " + link);
      ADD_FAILURE() << link << " loaded";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open URL " + link);
      EXPECT_EQ(e.reason(), "the server answered 404 Not Found with text/html");
    }
  }
}

// The page's encoding from its answer's charset, else a <meta> near its top (a byte-order mark
// before both); "\xD1\x8F" is "я" in UTF-8 and "СЏ" in Windows-1251. <base href> moves the rest.
TEST(LoadSourceTest, AddressesAreReadInTheEncodingThePageDeclares) {
  const std::string cp1251 = "/\xD0\xA1\xD0\x8F.jpg", utf8 = "/\xD1\x8F.jpg";
  const struct {
    std::string type;
    std::string body;
    std::string where;
  } kPages[] = {
      {"text/html; charset=Windows-1251", "<meta charset=utf-8>", cp1251},
      {"text/html; charset=\"cp1251\"", "", cp1251},
      {"text/html", "<head><meta charset='x-cp1251'>", cp1251},
      {"text/html", "<META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=windows-1251'>",
       cp1251},
      {"text/html; charset=koi8-u", "<meta charset=\"windows-1251\"/>", cp1251},
      {"text/html; charset=windows-1251", "\xEF\xBB\xBF", utf8},
      {"text/html", "<meta content='text/html; charset=windows-1251'>", utf8},
      {"text/html", "<!-- <meta charset=windows-1251> -->", utf8},
      {"text/html", std::string(1024, ' ') + "<meta charset=windows-1251>", utf8},
      {"text/html", "<a href=x><BASE target=_top><base href='/p/'><base href=/q/>", "/p" + utf8},
  };
  for (const auto& page : kPages) {
    LoopbackServer server([&](httplib::Server& s) {
      s.Get("/c/list.htm", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(page.body, page.type);
      });
    });
    const LoadedPage loaded = LoadSource(server.Url("/c/list.htm"));
    EXPECT_EQ(loaded.addresses.Resolve("\xD1\x8F.jpg").where,
              server.Url(page.where.substr(0, 3) == "/p/" ? page.where : "/c" + page.where))
        << page.type << " " << page.body;
  }
}

TEST(LoadSourceTest, AFileResolvesItsAddressesBesideIt) {
  TempDir dir;
  const std::string folder = dir.File("some dir");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  testkit::WriteFileBytes(folder + "/catalogue.htm", "saved");
  const LoadedPage loaded = LoadSource(folder + "/catalogue.htm");
  EXPECT_EQ(loaded.text, "saved");
  EXPECT_EQ(loaded.addresses.page(), folder + "/catalogue.htm");
  const PictureLocation location = loaded.addresses.Resolve("catalogue_files/my%20pic.jpg");
  EXPECT_EQ(location.kind, PictureLocation::Kind::kLocalFile);
  EXPECT_EQ(location.where, folder + "/catalogue_files/my pic.jpg");
  testkit::WriteFileBytes(folder + "/based.htm", "<base href=\"http://h/a/\">");
  EXPECT_EQ(LoadSource(folder + "/based.htm").addresses.Resolve("1.jpg").where, "http://h/a/1.jpg");
}

TEST(LoadSourceTest, FetchedPagesKeepTheirZeroBytes) {
  const std::string bytes("<b>\0</b>", 8);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/z.htm", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(bytes, "text/html");
    });
  });
  std::string pageText;
  LoadSource(server.Url("/z.htm"), pageText);
  EXPECT_EQ(pageText, bytes);
}

}  // namespace
}  // namespace picsheet
