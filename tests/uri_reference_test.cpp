// URI references: RFC 3986's own resolution examples, and the parts the resolver relies on.
#include "convert/uri_reference.h"

#include <gtest/gtest.h>

namespace picsheet {
namespace {

std::string Resolved(const std::string& base, const std::string& reference) {
  return ComposeUriReference(
      ResolveUriReference(ParseUriReference(base), ParseUriReference(reference)));
}

TEST(UriReferenceTest, ResolvesRfc3986Examples) {
  // Section 5.4.1 (normal) and 5.4.2 (abnormal, strict), against the RFC's base.
  const char* kBase = "http://a/b/c/d;p?q";
  const struct {
    const char* reference;
    const char* target;
  } kExamples[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& example : kExamples) {
    EXPECT_EQ(Resolved(kBase, example.reference), example.target) << example.reference;
  }
}

TEST(UriReferenceTest, BytesAUrlCannotCarryRawSurviveResolution) {
  // Blanks, Windows-1251 letters and "%" stay the bytes they were; nothing is encoded or folded.
  const std::string kBase = "https://Host:8443/Cat%20A/list.htm?x=1";
  const struct {
    std::string reference;
    std::string target;
  } kExamples[] = {
      {"my pic.jpg", "https://Host:8443/Cat%20A/my pic.jpg"},
      {"\xD1\xE5\xF0\xE8\xFF/1.jpg", "https://Host:8443/Cat%20A/\xD1\xE5\xF0\xE8\xFF/1.jpg"},
      {"../100%.jpg?a=\xFF", "https://Host:8443/100%.jpg?a=\xFF"},
      {"//other/x y.jpg", "https://other/x y.jpg"},
  };
  for (const auto& example : kExamples) {
    EXPECT_EQ(Resolved(kBase, example.reference), example.target) << example.reference;
  }
}

TEST(UriReferenceTest, ParsesIntoPartsAndJoinsBackUnchanged) {
  const struct {
    const char* text;
    std::optional<std::string> scheme;
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
  } kCases[] = {
      {"HTTP://h:80/a?b#c", "HTTP", "h:80", "/a", "b", "c"},
      {"file:///home/u/x.jpg", "file", "", "/home/u/x.jpg", {}, {}},
      {"file:x.jpg", "file", {}, "x.jpg", {}, {}},
      {"1:2.jpg", {}, {}, "1:2.jpg", {}, {}},  // no scheme begins with a digit
      {"a/b:c", {}, {}, "a/b:c", {}, {}},      // a ":" after the first "/" is the path's
      {"?", {}, {}, "", "", {}},
      {"//h", {}, "h", "", {}, {}},
      {"", {}, {}, "", {}, {}},
  };
  for (const auto& c : kCases) {
    const UriReference parts = ParseUriReference(c.text);
    EXPECT_EQ(parts.scheme, c.scheme) << c.text;
    EXPECT_EQ(parts.authority, c.authority) << c.text;
    EXPECT_EQ(parts.path, c.path) << c.text;
    EXPECT_EQ(parts.query, c.query) << c.text;
    EXPECT_EQ(parts.fragment, c.fragment) << c.text;
    EXPECT_EQ(ComposeUriReference(parts), c.text);
  }
}

}  // namespace
}  // namespace picsheet
