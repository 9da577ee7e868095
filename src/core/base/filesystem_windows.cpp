#include "core/base/filesystem.h"

#include "core/base/windowsfiles.h"

#include <QStringList>

#include <cerrno>
#include <windows.h>

namespace fotolista {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

/// Opens `path` with `access` only to ask about it; folders too. Sets errno
/// when it cannot.
HANDLE openToAsk(const QString& path, DWORD access, DWORD flags)
{
    const HANDLE h = ::CreateFileW(widePath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        errno = errnoFromWindowsError(::GetLastError());
    return h;
}

/// The volume and the file index: what the system itself tells files apart by.
std::optional<FileIdentity> identityOf(const QString& path, DWORD flags)
{
    if (path.isEmpty())
        return std::nullopt;
    const HANDLE h = openToAsk(path, FILE_READ_ATTRIBUTES, flags);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    if (!ok)
        errno = errnoFromWindowsError(::GetLastError());
    ::CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return FileIdentity{quint64(info.dwVolumeSerialNumber),
                        (quint64(info.nFileIndexHigh) << 32) | quint64(info.nFileIndexLow)};
}

/// 0 when `path` opens with `access`: asks the file's own access rules,
/// which the read-only attribute alone does not tell.
int openError(const QString& path, DWORD access)
{
    const HANDLE h = openToAsk(path, access, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return errno;
    ::CloseHandle(h);
    return 0;
}

}  // namespace

std::optional<FileIdentity> fileIdentity(const QString& path)
{
    return identityOf(path, 0);
}

std::optional<FileIdentity> entryIdentity(const QString& path)
{
    return identityOf(path, FILE_FLAG_OPEN_REPARSE_POINT);
}

EntryKind entryKind(const QString& path)
{
    const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EntryKind::None;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return EntryKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::Other;
}

int fileWriteError(const QString& path)
{
    return openError(path, FILE_WRITE_DATA);
}

int folderWriteError(const QString& folder)
{
    return openError(folder, FILE_ADD_FILE);
}

qint64 nameLength(const QString& name)
{
    return name.size();
}

std::optional<NameRefusal> systemNameRefusal(const QString& name, bool isFolder)
{
    if (name.contains(QLatin1Char(':')))
        return NameRefusal{QStringLiteral("el nombre lleva «:», que Windows no admite en un nombre de fichero"), true};
    // Windows takes these as devices whatever follows the first dot.
    static const QStringList devices{
        QStringLiteral("CON"),    QStringLiteral("PRN"),     QStringLiteral("AUX"),  QStringLiteral("NUL"),
        QStringLiteral("CONIN$"), QStringLiteral("CONOUT$"), QStringLiteral("COM1"), QStringLiteral("COM2"),
        QStringLiteral("COM3"),   QStringLiteral("COM4"),    QStringLiteral("COM5"), QStringLiteral("COM6"),
        QStringLiteral("COM7"),   QStringLiteral("COM8"),    QStringLiteral("COM9"), QStringLiteral("COM¹"),
        QStringLiteral("COM²"),   QStringLiteral("COM³"),    QStringLiteral("LPT1"), QStringLiteral("LPT2"),
        QStringLiteral("LPT3"),   QStringLiteral("LPT4"),    QStringLiteral("LPT5"), QStringLiteral("LPT6"),
        QStringLiteral("LPT7"),   QStringLiteral("LPT8"),    QStringLiteral("LPT9"), QStringLiteral("LPT¹"),
        QStringLiteral("LPT²"),   QStringLiteral("LPT³")};
    QString base = name.section(QLatin1Char('.'), 0, 0);
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    if (devices.contains(base, Qt::CaseInsensitive))
        return NameRefusal{QStringLiteral("«%1» es un nombre que Windows reserva para un dispositivo").arg(base), true};
    for (const QChar c : name) {
        if (c.unicode() < 0x20)
            return NameRefusal{QStringLiteral("el nombre lleva un carácter de control, que Windows no admite")};
        if (QStringLiteral("<>\"|?*").contains(c))
            return NameRefusal{
                QStringLiteral("el nombre lleva «%1», que Windows no admite en un nombre de fichero").arg(c)};
    }
    if (isFolder && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) && name != QLatin1String("."))
        return NameRefusal{QStringLiteral("la carpeta «%1» acaba en punto o en blanco, que Windows quita").arg(name)};
    return std::nullopt;
}

}  // namespace fotolista
