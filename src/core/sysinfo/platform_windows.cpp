#include "core/sysinfo/registry.h"
#include "core/sysinfo/sysinfolauncher.h"
#include "core/sysinfo/windowsregistry.h"

namespace fotolista {

std::unique_ptr<Registry> systemRegistry()
{
    return std::make_unique<WindowsRegistry>();
}

QStringList sysInfoProgramsOnPath()
{
    return {};
}

}  // namespace fotolista
