#include "core/check/filesystemnames.h"

#include <QFile>

#include <sys/vfs.h>
#include <unistd.h>

namespace fotolista {

NameLimits nameLimits(const QString& folder)
{
    NameLimits limits;
    const QByteArray native = QFile::encodeName(folder);
    if (const long name = ::pathconf(native.constData(), _PC_NAME_MAX); name > 0)
        limits.nameBytes = name;
    if (const long path = ::pathconf(native.constData(), _PC_PATH_MAX); path > 0)
        limits.pathBytes = path;
    return limits;
}

bool foldsCaseByKind(const QString& folder)
{
    struct statfs fs {};
    if (::statfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44UL:  // FAT
    case 0x2011BAB0UL:  // exFAT
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
        return true;
    default: return false;
    }
}

}  // namespace fotolista
