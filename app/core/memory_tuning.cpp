#include "app/core/memory_tuning.h"

#include <malloc.h>

namespace picsheet {

void KeepLargeBuffersOutOfTheHeap() {
  // glibc raises its threshold for mapping a block separately to the size of each such block
  // freed, up to 32 MB; from then on bodies of a few megabytes are carved from the per-thread
  // heaps, which give memory back only from their top. A fixed threshold turns that off. A
  // megabyte costs one mapping per large buffer, nothing next to decoding it.
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

}  // namespace picsheet
