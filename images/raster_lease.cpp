// RasterLease: anonymous mappings, one kept per thread between pictures.
#include "images/raster_lease.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// An anonymous mapping of at least bytes. A raster of a few huge pages or more starts on a huge
// page boundary and asks for huge pages: touching it then costs a fault per 2 MB instead of one
// per 4 KB page, which matters where faults are dear (virtual machines). Smaller ones keep small
// pages, so that a small picture does not occupy a whole huge page.
struct Mapping {
  std::uint8_t* data = nullptr;
  std::size_t size = 0;

  Mapping() = default;
  explicit Mapping(std::size_t bytes) {
    const bool huge = bytes >= 2 * kHugePage;
    size = RoundUp(bytes == 0 ? 1 : bytes,
                   huge ? kHugePage : static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
    const std::size_t span = huge ? size + kHugePage : size;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory);
    data = static_cast<std::uint8_t*>(raw);
    if (!huge) return;
    // Trim the span to a huge-page-aligned start; the trims only unmap what was just mapped.
    const auto start = (reinterpret_cast<std::uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1);
    const std::size_t head = start - reinterpret_cast<std::uintptr_t>(raw);
    if (head != 0) ::munmap(raw, head);
    if (span - head - size != 0) ::munmap(data + head + size, span - head - size);
    data += head;
    ::madvise(data, size, MADV_HUGEPAGE);  // only advice; where huge pages are off, small ones
  }
  ~Mapping() {
    if (data != nullptr) ::munmap(data, size);
  }
  Mapping(Mapping&& other) noexcept
      : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0)) {}
  Mapping& operator=(Mapping&& other) noexcept {
    std::swap(data, other.data);
    std::swap(size, other.size);
    return *this;
  }
};

// The thread's raster memory between its leases, unmapped when the thread ends.
thread_local Mapping kept;

}  // namespace

RasterLease::RasterLease(std::size_t bytes) {
  Mapping mapping;
  if (kept.size >= bytes) {
    mapping = std::move(kept);
  } else {
    kept = Mapping();  // the smaller memory goes back before the larger is mapped
    mapping = Mapping(bytes);
  }
  data_ = std::exchange(mapping.data, nullptr);
  size_ = std::exchange(mapping.size, 0);
}

RasterLease::~RasterLease() {
  Mapping mapping;
  mapping.data = data_;
  mapping.size = size_;
  // A lease taken while another was out on this thread may find the other's memory back first;
  // the larger of the two stays.
  if (mapping.size <= kKeptRasterBytes && mapping.size > kept.size) kept = std::move(mapping);
}

std::size_t RasterLease::KeptBytes() { return kept.size; }

void RasterLease::ReleaseKept() { kept = Mapping(); }

}  // namespace picsheet
