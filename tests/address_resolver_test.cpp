// Picture addresses resolved against their page: web pages, pages saved by a browser, archived
// pages, and the addresses a page from the network may not use.
#include "convert/address_resolver.h"

#include <gtest/gtest.h>

#include "base/paths.h"

namespace picsheet {
namespace {

using Kind = PictureLocation::Kind;

struct Case {
  std::string address;
  Kind kind;
  std::string whereOrReason;
  std::string asWritten = "";  // asked on a 404 of where; none where the two are the same
};

void ExpectResolved(const AddressResolver& resolver, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const PictureLocation location = resolver.Resolve(c.address);
    EXPECT_EQ(location.kind, c.kind) << c.address;
    EXPECT_EQ(c.kind == Kind::kRefused ? location.reason : location.where, c.whereOrReason)
        << c.address;
    EXPECT_EQ(c.kind == Kind::kRefused ? location.where : location.reason, "") << c.address;
    EXPECT_EQ(location.asWritten, c.asWritten) << c.address;
  }
}

const std::string kNotWeb = "not an http:// or https:// address";
const std::string kSeriya = "\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB8\xD1\x8F";  // "Серия" in UTF-8
const std::string kNotWebOrFile = "not an http://, https:// or file: address";

TEST(AddressResolverTest, WebPageResolvesRelativeAddressesAgainstItsFinalUrl) {
  const AddressResolver page = AddressResolver::ForWebPage("http://host:8080/cat/list.htm?x=1#top");
  EXPECT_FALSE(page.ForLocalFiles());
  EXPECT_EQ(page.page(), "http://host:8080/cat/list.htm?x=1#top");
  ExpectResolved(
      page,
      {
          {"img/1.jpg", Kind::kWeb, "http://host:8080/cat/img/1.jpg"},
          {"/abs/2.jpg", Kind::kWeb, "http://host:8080/abs/2.jpg"},
          {"//other/3.jpg", Kind::kWeb, "http://other/3.jpg"},
          {"../up/4.jpg", Kind::kWeb, "http://host:8080/up/4.jpg"},
          {"?q=1", Kind::kWeb, "http://host:8080/cat/list.htm?q=1"},
          {"show.php?id=1&amp;s=2", Kind::kWeb, "http://host:8080/cat/show.php?id=1&s=2"},
          {"show.php?id=1&#38;s=2", Kind::kWeb, "http://host:8080/cat/show.php?id=1&s=2"},
          {"img\\5.jpg", Kind::kWeb, "http://host:8080/cat/img/5.jpg"},
          {"http:g.jpg", Kind::kWeb, "http://host:8080/cat/g.jpg"},
          {"http:img/x.jpg", Kind::kWeb, "http://host:8080/cat/img/x.jpg"},
          {"http:/abs/x.jpg", Kind::kWeb, "http://host:8080/abs/x.jpg"},
          // "\\" is "/" and extra slashes before the host count for nothing, as in a browser.
          {"http://other\\img\\1.jpg", Kind::kWeb, "http://other/img/1.jpg"},
          {"http://other/img\\1.jpg?a\\b", Kind::kWeb, "http://other/img/1.jpg?a\\b"},
          {"http:\\\\other\\x.jpg", Kind::kWeb, "http://other/x.jpg"},
          {"http:///other/x.jpg", Kind::kWeb, "http://other/x.jpg"},
          {"HTTP:/\\/other:81/x.jpg", Kind::kWeb, "HTTP://other:81/x.jpg"},
          {"https:other/x.jpg", Kind::kWeb, "https://other/x.jpg"},
          {"///other/x.jpg", Kind::kWeb, "http://other/x.jpg"},
          {"  img/1.jpg\r\n", Kind::kWeb, "http://host:8080/cat/img/1.jpg"},
          {"im\ng/\t1.jpg", Kind::kWeb, "http://host:8080/cat/img/1.jpg"},
          // Blanks and UTF-8 letters stay raw (the request encodes them); a Windows-1251 name is
          // asked in UTF-8, then as written, its query in Windows-1251.
          {"my pic.jpg", Kind::kWeb, "http://host:8080/cat/my pic.jpg"},
          {"\xD1\xE5\xF0\xE8\xFF.jpg", Kind::kWeb, "http://host:8080/cat/" + kSeriya + ".jpg",
           "http://host:8080/cat/\xD1\xE5\xF0\xE8\xFF.jpg"},
          {kSeriya + ".jpg", Kind::kWeb, "http://host:8080/cat/" + kSeriya + ".jpg"},
          {"\xD1.php?\xD1=&#1057;&#x4E2D;#\xD1", Kind::kWeb,
           "http://host:8080/cat/\xD0\xA1.php?\xD1=\xD1%26%2320013%3B#\xD0\xA1",
           "http://host:8080/cat/\xD1.php?\xD1=\xD0\xA1\xE4\xB8\xAD#\xD1"},
          {"&#1057;.jpg", Kind::kWeb, "http://host:8080/cat/\xD0\xA1.jpg"},
          // Absolute addresses stay exactly as written, but for their character references.
          {"HTTPS://Other:443/A/../b.jpg", Kind::kWeb, "HTTPS://Other:443/A/../b.jpg"},
          {"http://x/a.php?p=1&amp;q=2", Kind::kWeb, "http://x/a.php?p=1&q=2"},
          {"http://x/a b\xFF.jpg", Kind::kWeb, "http://x/a b\xD1\x8F.jpg", "http://x/a b\xFF.jpg"},
      });
}

TEST(AddressResolverTest, WebAddressesAreReadInThePagesDeclaredEncoding) {
  const std::string ya = "\xD1\x8F";  // "я" in UTF-8, "СЏ" read as Windows-1251
  ExpectResolved(AddressResolver::ForWebPage("http://h/", {PageEncoding::kWindows1251, {}}),
                 {{ya + ".jpg?" + ya, Kind::kWeb, "http://h/\xD0\xA1\xD0\x8F.jpg?" + ya,
                   "http://h/" + ya + ".jpg?" + ya}});
  ExpectResolved(AddressResolver::ForWebPage("http://h/", {PageEncoding::kUtf8, {}}),
                 {{"\xFF.jpg?\xFF", Kind::kWeb, "http://h/\xEF\xBF\xBD.jpg?\xEF\xBF\xBD",
                   "http://h/\xFF.jpg?\xFF"},
                  {ya + ".jpg", Kind::kWeb, "http://h/" + ya + ".jpg"}});
  // A saved page's web addresses too; its files keep their rule.
  ExpectResolved(AddressResolver::ForLocalPage("/s/p.htm", {PageEncoding::kWindows1251, {}}),
                 {{"http://h/\xFF.jpg", Kind::kWeb, "http://h/" + ya + ".jpg", "http://h/\xFF.jpg"},
                  {"\xFF.jpg", Kind::kLocalFile, "/s/" + ya + ".jpg"}});
}

TEST(AddressResolverTest, BaseHrefResolvesAgainstThePageAndRelativeAddressesAgainstIt) {
  const auto web = [](const std::string& href) {
    return AddressResolver::ForWebPage("http://host/cat/list.htm", {{}, href});
  };
  ExpectResolved(web("/pics/"), {{"1.jpg", Kind::kWeb, "http://host/pics/1.jpg"},
                                 {"//cdn/2.jpg", Kind::kWeb, "http://cdn/2.jpg"},
                                 {"http://x/3.jpg", Kind::kWeb, "http://x/3.jpg"}});
  ExpectResolved(web("https://cdn/a/b.htm#top"), {{"../1.jpg", Kind::kWeb, "https://cdn/1.jpg"},
                                                  {"http:1.jpg", Kind::kWeb, "http://1.jpg"}});
  ExpectResolved(web("\xD1/"), {{"1.jpg", Kind::kWeb, "http://host/cat/\xD0\xA1/1.jpg"}});
  // An empty href, or one naming nothing pictures may come from, is left aside.
  for (const char* aside : {"", " ", "file:///etc/", "javascript:x"}) {
    ExpectResolved(web(aside), {{"1.jpg", Kind::kWeb, "http://host/cat/1.jpg"},
                                {"file:1.jpg", Kind::kRefused, kNotWeb}});
  }
  const auto local = [](const std::string& href) {
    return AddressResolver::ForLocalPage("/s/p.htm", {{}, href});
  };
  ExpectResolved(local("pics/"), {{"1.jpg", Kind::kLocalFile, "/s/pics/1.jpg"},
                                  {"http://h/2.jpg", Kind::kWeb, "http://h/2.jpg"}});
  ExpectResolved(local("http://h/cat/"), {{"1.jpg", Kind::kWeb, "http://h/cat/1.jpg"},
                                          {"file:///s/1.jpg", Kind::kLocalFile, "/s/1.jpg"}});
}

TEST(AddressResolverTest, ArchivedPagesResolveRootRelativeAddressesOnTheArchive) {
  const AddressResolver page = AddressResolver::ForWebPage(
      "https://archive.example/web/20050101000000/http://old-site.example/cat/list.htm");
  ExpectResolved(
      page,
      {
          {"/web/20050101000000im_/http://old-site.example/img/1.jpg", Kind::kWeb,
           "https://archive.example/web/20050101000000im_/http://old-site.example/img/1.jpg"},
          {"img/2.jpg", Kind::kWeb,
           "https://archive.example/web/20050101000000/http://old-site.example/cat/img/2.jpg"},
          {"//archive.example/web/2005im_/http://old-site.example/3.jpg", Kind::kWeb,
           "https://archive.example/web/2005im_/http://old-site.example/3.jpg"},
      });
}

TEST(AddressResolverTest, WebPageNeverNamesALocalFileOrAnotherScheme) {
  const AddressResolver page = AddressResolver::ForWebPage("http://host/cat/list.htm");
  ExpectResolved(page, {
                           {"file:///etc/passwd", Kind::kRefused, kNotWeb},
                           {"FILE:/etc/passwd", Kind::kRefused, kNotWeb},
                           {"file://localhost/etc/passwd", Kind::kRefused, kNotWeb},
                           {"&#102;ile:///etc/passwd", Kind::kRefused, kNotWeb},
                           {" file:///etc/passwd", Kind::kRefused, kNotWeb},
                           {"ftp://host/1.jpg", Kind::kRefused, kNotWeb},
                           {"data:image/jpeg;base64,AAAA", Kind::kRefused, kNotWeb},
                           {"javascript:alert(1)", Kind::kRefused, kNotWeb},
                           {"C:\\pictures\\1.jpg", Kind::kRefused, kNotWeb},
                           {"https:", Kind::kRefused, kNotWeb},
                           {"http:///", Kind::kRefused, kNotWeb},
                           {"http:\\\\?x", Kind::kRefused, kNotWeb},
                           {"///", Kind::kRefused, kNotWeb},
                           {"", Kind::kRefused, "the address is empty"},
                           {" \t\r\n", Kind::kRefused, "the address is empty"},
                       });
}

TEST(AddressResolverTest, SavedPageNamesFilesBesideIt) {
  const AddressResolver page = AddressResolver::ForLocalPage("/home/u/some dir/catalogue.htm");
  EXPECT_TRUE(page.ForLocalFiles());
  EXPECT_EQ(page.page(), "/home/u/some dir/catalogue.htm");
  const std::string dir = "/home/u/some dir/";
  // "Серия" in UTF-8, as a browser names the files it saves with a page.
  const std::string seriya = "\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB8\xD1\x8F";
  ExpectResolved(
      page,
      {
          {"cat_files/1.jpg", Kind::kLocalFile, dir + "cat_files/1.jpg"},
          {"./x.jpg", Kind::kLocalFile, dir + "x.jpg"},
          {"../up/4.jpg", Kind::kLocalFile, "/home/u/up/4.jpg"},
          {"/abs/2.jpg", Kind::kLocalFile, "/abs/2.jpg"},
          {"file:///home/u/x.jpg", Kind::kLocalFile, "/home/u/x.jpg"},
          {"file://localhost/home/u/x.jpg", Kind::kLocalFile, "/home/u/x.jpg"},
          {"FILE:/home/u/x.jpg", Kind::kLocalFile, "/home/u/x.jpg"},
          {"file:x.jpg", Kind::kLocalFile, dir + "x.jpg"},
          {"x.jpg?v=2#top", Kind::kLocalFile, dir + "x.jpg"},
          {"cat_files\\1.jpg", Kind::kLocalFile, dir + "cat_files/1.jpg"},
          {"&amp;.jpg", Kind::kLocalFile, dir + "&.jpg"},
          // Names with blanks as %20, UTF-8 names raw or percent-encoded, and a Windows-1251 page's
          // letters (raw or encoded) all name the UTF-8 file a browser saved.
          {"cat_files/my%20pic.jpg", Kind::kLocalFile, dir + "cat_files/my pic.jpg"},
          {"cat_files/my pic.jpg", Kind::kLocalFile, dir + "cat_files/my pic.jpg"},
          {"file:///home/u/some%20dir/x.jpg", Kind::kLocalFile, dir + "x.jpg"},
          {seriya + "_files/1.jpg", Kind::kLocalFile, dir + seriya + "_files/1.jpg"},
          {"%D0%A1%D0%B5%D1%80%D0%B8%D1%8F_files/1.jpg", Kind::kLocalFile,
           dir + seriya + "_files/1.jpg"},
          {"\xD1\xE5\xF0\xE8\xFF_files/1.jpg", Kind::kLocalFile, dir + seriya + "_files/1.jpg"},
          {"%D1%E5%F0%E8%FF_files/1.jpg", Kind::kLocalFile, dir + seriya + "_files/1.jpg"},
          // "%" that encodes nothing, and the bytes no file name holds, stay as written.
          {"100%25.jpg", Kind::kLocalFile, dir + "100%.jpg"},
          {"50%.jpg", Kind::kLocalFile, dir + "50%.jpg"},
          {"what%3F%23.jpg", Kind::kLocalFile, dir + "what?#.jpg"},
          {"a%2Fb.jpg", Kind::kLocalFile, dir + "a%2Fb.jpg"},
          {"a%00.jpg", Kind::kLocalFile, dir + "a%00.jpg"},
          {"%2E%2E/x.jpg", Kind::kLocalFile, "/home/u/x.jpg"},
          // A zero byte in the page is U+FFFD, as a browser reads it, and ends no file name.
          {std::string("a\0b.jpg", 7), Kind::kLocalFile,
           dir + "a\xEF\xBF\xBD"
                 "b.jpg"},
          // Links in a saved page are downloaded as before.
          {"http://host/a.jpg", Kind::kWeb, "http://host/a.jpg"},
          {"HTTPS://host/a&amp;b.jpg", Kind::kWeb, "HTTPS://host/a&b.jpg"},
          // What names no file here.
          {"//host/3.jpg", Kind::kRefused, "a file: address of another computer (host)"},
          {"file://server/share/x.jpg", Kind::kRefused,
           "a file: address of another computer (server)"},
          {"http:x.jpg", Kind::kWeb, "http://x.jpg"},
          {"http:\\\\host\\a.jpg", Kind::kWeb, "http://host/a.jpg"},
          {"http:///", Kind::kRefused, kNotWebOrFile},
          {"ftp://host/1.jpg", Kind::kRefused, kNotWebOrFile},
          {"data:image/jpeg;base64,AAAA", Kind::kRefused, kNotWebOrFile},
          {"", Kind::kRefused, "the address is empty"},
      });
}

TEST(AddressResolverTest, SavedPageFolderIsTakenAsTheFileSystemHasIt) {
  // The page's own path is a file-system path: "%", "?", "#" and bytes that are no UTF-8 in it
  // are names, not encodings.
  ExpectResolved(AddressResolver::ForLocalPage("/tmp/100% #1?/list.htm"),
                 {{"1.jpg", Kind::kLocalFile, "/tmp/100% #1?/1.jpg"},
                  {"?q", Kind::kLocalFile, "/tmp/100% #1?/list.htm"}});
  ExpectResolved(AddressResolver::ForLocalPage("/tmp/\xD1\xE5/a\\b/list.htm"),
                 {{"1.jpg", Kind::kLocalFile, "/tmp/\xD1\xE5/a\\b/1.jpg"},
                  {"../2.jpg", Kind::kLocalFile, "/tmp/\xD1\xE5/2.jpg"}});
  // A relative page path is taken from the current folder.
  const AddressResolver relative = AddressResolver::ForLocalPage("pages/../list.htm");
  EXPECT_EQ(relative.page(), CurrentDirectory() + "/list.htm");
  ExpectResolved(relative, {{"img/1.jpg", Kind::kLocalFile, CurrentDirectory() + "/img/1.jpg"}});
}

}  // namespace
}  // namespace picsheet
