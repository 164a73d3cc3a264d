// Character references in attribute values, decoded by the browsers' rules.
#include "convert/character_references.h"

#include <gtest/gtest.h>

namespace picsheet {
namespace {

TEST(CharacterReferencesTest, DecodesAsBrowsersDoInAttributes) {
  const struct {
    std::string value;
    std::string decoded;
  } kCases[] = {
      // The forms of "&" a catalogue's query holds.
      {"a.php?x=1&amp;y=2", "a.php?x=1&y=2"},
      {"a.php?x=1&#38;y=2", "a.php?x=1&y=2"},
      {"a.php?x=1&#x26;y=2", "a.php?x=1&y=2"},
      {"a.php?x=1&#X26y=2", "a.php?x=1&y=2"},  // ";" may be left out of a numeric one
      {"a.php?x=1&y=2", "a.php?x=1&y=2"},      // a bare "&" stays
      {"&AMP;&lt;&GT;&quot;", "&<>\""},
      // Every named reference of HTML, in UTF-8.
      {"&nbsp;&copy;&Dagger;&CounterClockwiseContourIntegral;",
       "\xC2\xA0\xC2\xA9\xE2\x80\xA1\xE2\x88\xB3"},
      {"&NotEqualTilde;", "\xE2\x89\x82\xCC\xB8"},  // two characters
      {"&#1057;&#x0435;", "\xD0\xA1\xD0\xB5"},      // "Се"
      {"&#128512;", "\xF0\x9F\x98\x80"},
      // Legacy names without ";": taken, but not before "=", a letter or a digit.
      {"&copy 2005", "\xC2\xA9 2005"},
      {"&amp", "&"},
      {"?a=1&copy=2", "?a=1&copy=2"},
      {"?a=1&notit;", "?a=1&notit;"},
      {"&not;it", "\xC2\xACit"},
      {"&ampx", "&ampx"},
      {"&amp;x", "&x"},
      // Names the table does not know, and references without digits, stay as written.
      {"&foo;&#;&#x;&#xg;&", "&foo;&#;&#x;&#xg;&"},
      {"&Amp;", "&Amp;"},
      // Numbers that name no character, and the Windows-1252 ones.
      {"&#0;&#xD800;&#x110000;&#99999999999999999999;",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"&#150;&#x80;&#x81;", "\xE2\x80\x93\xE2\x82\xAC\xC2\x81"},
      // Other bytes stay what they are, Windows-1251 letters and blanks; a zero byte becomes
      // U+FFFD, as in any attribute.
      {std::string("\xD1\xE5 r\0y", 6), "\xD1\xE5 r\xEF\xBF\xBDy"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DecodeAttributeCharacterReferences(c.value), c.decoded) << c.value;
  }
}

}  // namespace
}  // namespace picsheet
