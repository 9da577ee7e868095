#include "core/base/filesystem.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace fotolista {

std::optional<FileIdentity> fileIdentity(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{quint64(st.st_dev), quint64(st.st_ino)};
}

std::optional<FileIdentity> entryIdentity(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{quint64(st.st_dev), quint64(st.st_ino)};
}

EntryKind entryKind(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return EntryKind::None;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

int fileWriteError(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0 ? 0 : errno;
}

int folderWriteError(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

qint64 nameLength(const QString& name)
{
    return QFile::encodeName(name).size();
}

std::optional<NameRefusal> systemNameRefusal(const QString&, bool)
{
    // Every byte but "/" and NUL, which the callers have turned away.
    return std::nullopt;
}

}  // namespace fotolista
