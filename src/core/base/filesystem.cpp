#include "core/base/filesystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <cstring>

namespace fotolista {

qint64 folderSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return 0;
    qint64 total = 0;
    // Hidden files count too: they take space like any other.
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo f = it.fileInfo();
        if (f.isFile())
            total += f.size();
    }
    return total;
}

std::optional<qint64> fileSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return info.size();
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace fotolista
