#include "core/image/memorybudget.h"

#include <windows.h>

namespace fotolista {

qint64 physicalMemory()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status))
        return 0;
    return qint64(status.ullTotalPhys);
}

}  // namespace fotolista
