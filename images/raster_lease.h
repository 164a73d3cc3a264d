// Memory for turned rasters that each thread keeps between its pictures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace picsheet {

// Rasters up to this size stay with their thread after a picture (a 12-megapixel one needs 36 MB);
// a larger one goes back to the system at once, so that one huge picture is not held for the
// rest of a run.
inline constexpr std::size_t kKeptRasterBytes = std::size_t{64} << 20;

// The calling thread's raster memory for one picture: at least the asked bytes, contents
// unspecified. Mapping and first touching tens of megabytes costs about as much system time as
// decoding the picture, so the memory goes back to the thread when the lease ends and serves its
// next picture; the thread gives it back to the system when it ends. Fresh memory is asked for in
// huge pages where the system offers them. Throws Error "Out of memory" when it cannot be mapped.
class RasterLease {
 public:
  explicit RasterLease(std::size_t bytes);
  ~RasterLease();
  RasterLease(const RasterLease&) = delete;
  RasterLease& operator=(const RasterLease&) = delete;

  std::uint8_t* data() const { return data_; }

  // Bytes the calling thread keeps from earlier leases and has not leased out now.
  static std::size_t KeptBytes();
  // Gives the calling thread's kept memory back to the system.
  static void ReleaseKept();

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace picsheet
