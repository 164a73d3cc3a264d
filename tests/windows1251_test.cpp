// The Windows-1251 codec and the names a run gives the file system.
#include "base/windows1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>

#include "app/core/session_name.h"
#include "base/error.h"
#include "base/file_system_name.h"

namespace picsheet {
namespace {

// "Серия" as the catalogue pages carry it.
const std::string kSeries1251 = "\xD1\xE5\xF0\xE8\xFF";

std::string IconvToUtf8(char byte) {
  iconv_t toUtf8 = iconv_open("UTF-8", "CP1251");
  EXPECT_NE(toUtf8, reinterpret_cast<iconv_t>(-1));
  char out[8] = {};
  char* inPtr = &byte;
  char* outPtr = out;
  std::size_t inLeft = 1;
  std::size_t outLeft = sizeof out;
  const bool converted =
      iconv(toUtf8, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(toUtf8);
  return converted ? std::string(out, sizeof out - outLeft) : "(none)";
}

TEST(Windows1251, EveryByteDecodesAsIconvAndEncodesBack) {
  std::set<std::string> seen;
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    const std::string text = DecodeWindows1251(byte);
    // 152 is unassigned in the code page: U+0098, as Windows and the browsers map it.
    EXPECT_EQ(text, value == 0x98 ? std::string("\xC2\x98") : IconvToUtf8(byte[0])) << value;
    EXPECT_TRUE(IsValidUtf8(text)) << value;
    EXPECT_TRUE(seen.insert(text).second) << value;
    const Windows1251Encoding back = EncodeWindows1251(text);
    EXPECT_EQ(back.refused, "") << value;
    EXPECT_EQ(back.bytes, byte) << value;
  }
  EXPECT_EQ(DecodeWindows1251(kSeries1251 + " 3\xE0"), "Серия 3а");
}

TEST(Windows1251, EncodingRefusesTheFirstCharacterItCannotHold) {
  struct Case {
    std::string utf8, bytes, refused;
  } cases[] = {
      {"Серия №3",
       kSeries1251 + " \xB9"
                     "3",
       ""},
      {"Серия 名前", "", "名"},
      {"a\xE2\x82", "", "\xE2"},  // cut short
      {"\xC0\xAF", "", "\xC0"},   // overlong "/"
      {"€", "\x88", ""},
  };
  for (const Case& c : cases) {
    const Windows1251Encoding encoded = EncodeWindows1251(c.utf8);
    EXPECT_EQ(encoded.refused, c.refused) << c.utf8;
    if (c.refused.empty()) {
      EXPECT_EQ(encoded.bytes, c.bytes) << c.utf8;
    }
  }
}

TEST(Windows1251, Utf8IsValidOnlyInItsShortestWellFormedShape) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain", true},
      {"Серия", true},
      {"\xF0\x9F\x98\x80", true},
      {kSeries1251, false},
      {"\xC1\xBF", false},
      {"\xE0\x80\xAF", false},
      {"\xED\xA0\x80", false},  // surrogate
      {"\xF4\x90\x80\x80", false},
      {"\xD0", false},
      {"\x80", false},
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}

TEST(FileSystemName, KeepsUtf8AndDecodesWindows1251) {
  const std::pair<std::string, std::string> cases[] = {
      {"list_images", "list_images"},
      {"00003\xD0\xB0_1.jpg", "00003\xD0\xB0_1.jpg"},  // a UTF-8 page's "3а"
      {"000003\xE0_1.jpg", "000003а_1.jpg"},           // a Windows-1251 page's "3а"
      {kSeries1251 + "_images", "Серия_images"},
      {"3\x98_1", "3\xC2\x98_1"},
  };
  for (const auto& [name, onDisk] : cases) EXPECT_EQ(FileSystemName(name), onDisk) << name;
}

TEST(FileSystemName, EveryTwoByteNameGivesValidUtf8AndDecodedOnesStayDistinct) {
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string name{static_cast<char>(first), static_cast<char>(second)};
      const std::string onDisk = FileSystemName(name);
      ASSERT_TRUE(IsValidUtf8(onDisk)) << first << " " << second;
      // A decoded name encodes back to the page's bytes, so no two of them meet on disk.
      if (onDisk != name) {
        ASSERT_EQ(EncodeWindows1251(onDisk).bytes, name) << first << " " << second;
      }
    }
  }
}

TEST(SaveNameFromUserText, TypedTextBecomesWindows1251) {
  EXPECT_EQ(SaveNameFromUserText("my-list 1.2"), "my-list 1.2");
  EXPECT_EQ(SaveNameFromUserText("Серия"), kSeries1251);
  EXPECT_EQ(SaveNameFromUserText(kSeries1251), kSeries1251);  // 8-bit already
  try {
    SaveNameFromUserText("Серия 名前");
    ADD_FAILURE() << "a Chinese name was taken";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(),
                 "The save name \"Серия 名前\" has a character that Windows-1251 cannot hold: "
                 "\"名\"");
  }
}

}  // namespace
}  // namespace picsheet
