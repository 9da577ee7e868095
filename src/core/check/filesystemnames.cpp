#include "core/check/filesystemnames.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace fotolista {

namespace {

/// The same name with its letter case changed, or itself when it has none.
QString otherCase(const QString& name)
{
    const QString upper = name.toUpper();
    return upper != name ? upper : name.toLower();
}

/// Looks `name` up in `folder` as written and in the other letter case:
/// the same entry means the file system folds case. Nothing when the
/// name has no letter case or cannot be looked up.
std::optional<bool> sameEntryInOtherCase(const QString& folder, const QString& name)
{
    const QString other = otherCase(name);
    if (other == name)
        return std::nullopt;
    struct stat asWritten {};
    struct stat changed {};
    if (::lstat(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), &asWritten) != 0)
        return std::nullopt;
    if (::lstat(QFile::encodeName(folder + QLatin1Char('/') + other).constData(), &changed) != 0)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    return asWritten.st_dev == changed.st_dev && asWritten.st_ino == changed.st_ino;
}

/// Types of file system that fold letter case whatever their options.
bool knownToFoldCase(const QString& folder)
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

}  // namespace

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

std::optional<QString> tooLongName(const QString& folder, const QString& relative, const NameLimits& limits)
{
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (QFile::encodeName(part).size() > limits.nameBytes)
            return QStringLiteral("el nombre «%1» pasa de %2 bytes, lo más que admite el sistema de archivos")
                .arg(part)
                .arg(limits.nameBytes);
    }
    // The path also carries its end mark.
    if (QFile::encodeName(folder + QLatin1Char('/') + relative).size() >= limits.pathBytes)
        return QStringLiteral("la ruta pasa de %1 bytes, lo más que admite el sistema de archivos")
            .arg(limits.pathBytes - 1);
    return std::nullopt;
}

bool foldsLetterCase(const QString& folder)
{
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        if (const std::optional<bool> folds = sameEntryInOtherCase(folder, entries.fileName()))
            return *folds;
    }
    // An empty folder: its own name, when its parent lies on the same file system.
    const QFileInfo info(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    const QString parent = info.absolutePath();
    struct stat self {};
    struct stat above {};
    if (::stat(QFile::encodeName(folder).constData(), &self) == 0
        && ::stat(QFile::encodeName(parent).constData(), &above) == 0 && self.st_dev == above.st_dev) {
        if (const std::optional<bool> folds = sameEntryInOtherCase(parent, info.fileName()))
            return *folds;
    }
    return knownToFoldCase(folder);
}

QString comparedPath(const QString& path, bool foldCase)
{
    const QString clean = QDir::cleanPath(path);
    return foldCase ? clean.toCaseFolded() : clean;
}

}  // namespace fotolista
