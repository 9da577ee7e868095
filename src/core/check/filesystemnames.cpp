#include "core/check/filesystemnames.h"

#include "core/base/filesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>

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
    const std::optional<FileIdentity> asWritten = entryIdentity(folder + QLatin1Char('/') + name);
    if (!asWritten)
        return std::nullopt;
    const std::optional<FileIdentity> changed = entryIdentity(folder + QLatin1Char('/') + other);
    if (!changed)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    return *asWritten == *changed;
}

}  // namespace

std::optional<QString> tooLongName(const QString& folder, const QString& relative, const NameLimits& limits)
{
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (nameLength(part) > limits.nameBytes)
            return QStringLiteral("el nombre «%1» pasa de %2 bytes, lo más que admite el sistema de archivos")
                .arg(part)
                .arg(limits.nameBytes);
    }
    // The path also carries its end mark.
    if (nameLength(folder + QLatin1Char('/') + relative) >= limits.pathBytes)
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
    const std::optional<FileIdentity> self = fileIdentity(folder);
    const std::optional<FileIdentity> above = fileIdentity(parent);
    if (self && above && self->device == above->device) {
        if (const std::optional<bool> folds = sameEntryInOtherCase(parent, info.fileName()))
            return *folds;
    }
    return foldsCaseByKind(folder);
}

QString comparedPath(const QString& path, bool foldCase)
{
    const QString clean = QDir::cleanPath(path);
    return foldCase ? clean.toCaseFolded() : clean;
}

}  // namespace fotolista
