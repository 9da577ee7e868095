#include "core/image/heaptuning.h"

#include <malloc.h>

namespace fotolista {

void tuneHeapForImages()
{
    // A camera photo takes tens of megabytes; by default each one would be a
    // fresh mapping whose pages the kernel zeroes again for every image.
    // Kept in the heap instead, the memory of one image serves the next.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    // One heap for every thread: an image freed by one serves the next row's
    // in any other, and no per-thread heap is left full of holes that the
    // small allocations of later rows pin (they made the memory grow by
    // kilobytes per row over a long run).
    mallopt(M_ARENA_MAX, 1);
}

}  // namespace fotolista
