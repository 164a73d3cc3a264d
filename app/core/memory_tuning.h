// Allocator settings for runs that hold a few large picture buffers at a time.
#pragma once

namespace picsheet {

// Makes buffers of a megabyte and more (bodies, rasters, encoded pictures) come straight from
// the system and go back to it when freed, so that buffers passed between threads do not leave
// the freed space of one picture stranded in another thread's heap. Safe to call more than once.
void KeepLargeBuffersOutOfTheHeap();

}  // namespace picsheet
