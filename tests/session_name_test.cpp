// The save name derived from a source text.
#include "app/core/session_name.h"

#include <gtest/gtest.h>

namespace picsheet {
namespace {

TEST(SessionNameTest, DerivedFromThePartAfterTheLastBackslashOrColon) {
  // "Серия" in Windows-1251: bytes of 128 and above are dropped with the blank and the dot.
  EXPECT_EQ(DeriveSessionName("C:\\pages\\\xD1\xE5\xF0\xE8\xFF 12.htm"), "12htm");
  EXPECT_EQ(DeriveSessionName("http://host/list/page7.htm"), "hostlistpage7htm");
  EXPECT_EQ(DeriveSessionName("http://host:8080/a.htm"), "8080ahtm");
  EXPECT_EQ(DeriveSessionName("C:\\pages\\"), "");
  EXPECT_EQ(DeriveSessionName("name:"), "");
  EXPECT_EQ(DeriveSessionName(""), "");
}

TEST(SessionNameTest, InALocalPathASlashEndsAPartTooButNotInALink) {
  const struct {
    const char* source;
    const char* name;
  } kCases[] = {
      {"/home/u/some dir/catalogue.htm", "cataloguehtm"},
      {"/home/me/my-list_2.html", "my-list_2html"},
      {"pages/sub\\list.htm", "listhtm"},
      {"relative/dir/c.htm", "chtm"},
      {"/home/u/dir/", ""},
      // Links keep their rule: the part after the last ":" or "\\", slashes dropped.
      {"HTTP://host/list/page7.htm", "hostlistpage7htm"},
      {" https://host/a/b.htm", "hostabhtm"},
      {"\xEF\xBB\xBFhttps://host/a/b.htm\xC2\xA0", "hostabhtm"},
      {"https://host:8443/a/b.htm", "8443abhtm"},
      // A password never names a file; a user name alone keeps its place.
      {"http://user:pw@host/list.htm", "hostlisthtm"},
      {"http://user@host/list.htm", "userhostlisthtm"},
  };
  for (const auto& c : kCases) EXPECT_EQ(DeriveSessionName(c.source), c.name) << c.source;
}

TEST(SessionNameTest, FilterKeepsOnlyNameBytes) {
  EXPECT_EQ(FilterSessionName("a-Z_0 9.x/y\\z:\x80\xFF"), "a-Z_09xyz");
}

}  // namespace
}  // namespace picsheet
