#include "core/check/filesystemnames.h"

#include "core/base/windowsfiles.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace fotolista {

NameLimits nameLimits(const QString& folder)
{
    NameLimits limits;
    // The engine's own calls take paths without the long-path prefix, so a
    // whole path stays below MAX_PATH whatever the volume allows.
    limits.pathBytes = MAX_PATH;
    wchar_t volume[MAX_PATH + 1] = {};
    const std::wstring path = widePath(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    DWORD longestName = 0;
    if (::GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)
        && ::GetVolumeInformationW(volume, nullptr, 0, nullptr, &longestName, nullptr, nullptr, 0) && longestName > 0)
        limits.nameBytes = qint64(longestName);
    return limits;
}

bool foldsCaseByKind(const QString&)
{
    // Windows looks names up without regard to case on every file system;
    // only a folder marked case-sensitive differs, and a lookup of one of
    // its entries has already told so.
    return true;
}

}  // namespace fotolista
