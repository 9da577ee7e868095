#include "core/base/processsetup.h"

namespace fotolista {

void ignoreFileSizeLimitSignal()
{
    // Windows has no such signal: a write beyond a quota or a full disk fails.
}

}  // namespace fotolista
