// Byte counts as typed for --cache-size: the units taken and the junk refused.
#include "base/byte_size.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

TEST(ParseByteSizeTest, TakesBytesAndBinaryUnitsInAnyCase) {
  const struct {
    const char* text;
    std::uint64_t bytes;
  } cases[] = {
      {"0", 0},
      {"1", 1},
      {"007", 7},
      {"1073741824", std::uint64_t{1} << 30},
      {"12B", 12},
      {"12b", 12},
      {"1K", 1024},
      {"1k", 1024},
      {"3KiB", 3 * 1024},
      {"3kib", 3 * 1024},
      {"3KIB", 3 * 1024},
      {"500M", 500ULL << 20},
      {"500m", 500ULL << 20},
      {"500MiB", 500ULL << 20},
      {"2G", 2ULL << 30},
      {"2GiB", 2ULL << 30},
      {"2gIb", 2ULL << 30},
      {"17179869183G", 17179869183ULL << 30},
      {"18446744073709551615", UINT64_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseByteSize(c.text), c.bytes);
  }
}

TEST(ParseByteSizeTest, RefusesJunkWithTheUsageMessage) {
  const char* const cases[] = {"",
                               "M",
                               "-1",
                               "+1",
                               " 1",
                               "1 ",
                               "1 M",
                               "1.5G",
                               "1,5G",
                               "1e3",
                               "0x10",
                               "1MB",
                               "1KB",
                               "1mb",
                               "1T",
                               "1TiB",
                               "1Gi",
                               "1iB",
                               "1GiBs",
                               "1GG",
                               "G1",
                               "1\n",
                               "18446744073709551616",
                               "17179869184G",
                               "99999999999999999999999K"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ParseByteSize(text);
      ADD_FAILURE() << "taken";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), messages::NotAByteSize(text));
    }
  }
  EXPECT_EQ(messages::NotAByteSize("1MB"),
            "\"1MB\" is not a size: give a whole number of bytes, or one followed by K, M or G "
            "(also KiB, MiB, GiB; 1024-based, any case), e.g. 500M");
}

}  // namespace
}  // namespace picsheet
