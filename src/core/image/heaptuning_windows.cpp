#include "core/image/heaptuning.h"

namespace fotolista {

void tuneHeapForImages()
{
    // The Windows heap keeps large blocks for reuse and serves every thread
    // from its low-fragmentation front end by itself: nothing to set.
}

}  // namespace fotolista
