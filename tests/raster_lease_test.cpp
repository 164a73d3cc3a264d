// Raster memory kept per thread: reused by the thread's next lease, never shared, bounded.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "images/raster_lease.h"

namespace picsheet {
namespace {

TEST(RasterLease, AThreadReusesItsOwnMemoryUpToTheKeptSize) {
  constexpr std::size_t kPicture = std::size_t{5} << 20;  // in huge pages where offered
  std::uint8_t* first = nullptr;
  {
    RasterLease lease(kPicture);
    first = lease.data();
    std::memset(first, 7, kPicture);
  }
  EXPECT_GE(RasterLease::KeptBytes(), kPicture);
  {
    RasterLease smaller(1000);
    EXPECT_EQ(smaller.data(), first);
    EXPECT_EQ(RasterLease::KeptBytes(), 0u);
    // A second lease while the first is out gets memory of its own.
    RasterLease nested(kPicture);
    EXPECT_NE(nested.data(), first);
    std::memset(nested.data(), 1, kPicture);
  }
  EXPECT_GE(RasterLease::KeptBytes(), kPicture);
  std::thread([first] {
    EXPECT_EQ(RasterLease::KeptBytes(), 0u);
    RasterLease other(1000);
    EXPECT_NE(other.data(), first);
  }).join();

  // Memory past the kept size goes back when its lease ends, and the smaller memory with it.
  {
    RasterLease huge(kKeptRasterBytes + 1);
    huge.data()[kKeptRasterBytes] = 1;
  }
  EXPECT_EQ(RasterLease::KeptBytes(), 0u);
}

}  // namespace
}  // namespace picsheet
