// How much memory a run lets its pages and pictures use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace picsheet {

struct RunMemoryLimits {
  // Every picture body held at once, from its first byte until the converter takes it.
  std::size_t budgetBytes = 0;
  // One picture's answer: the one the converter waits for may pass the budget, up to this.
  std::size_t pictureBytes = 0;
  // The catalogue page fetched from the network, held whole for the run.
  std::size_t pageBytes = 0;
};

// The limits for a process that can still be given availableBytes: a budget of 256 MiB, or a
// quarter of what is available when that is less (at least 16 MiB); a picture may take a quarter
// of the rest, at least 64 MiB; a page no more than the budget, since it is held the whole run
// beside the pictures and a catalogue page is text.
RunMemoryLimits MemoryLimitsFor(std::uint64_t availableBytes);

// MemoryLimitsFor what the system and the process's control groups can give now.
RunMemoryLimits CurrentMemoryLimits();

}  // namespace picsheet
