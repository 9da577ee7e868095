#include "core/image/memorybudget.h"

#include <unistd.h>

namespace fotolista {

qint64 physicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return qint64(pages) * pageSize;
}

}  // namespace fotolista
