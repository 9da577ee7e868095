#include "core/sysinfo/registry.h"
#include "core/sysinfo/sysinfolauncher.h"

namespace fotolista {

std::unique_ptr<Registry> systemRegistry()
{
    return std::make_unique<EmptyRegistry>();
}

QStringList sysInfoProgramsOnPath()
{
    return linuxSysInfoPrograms();
}

}  // namespace fotolista
