#include "core/base/processsetup.h"

#include <csignal>

namespace fotolista {

void ignoreFileSizeLimitSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace fotolista
