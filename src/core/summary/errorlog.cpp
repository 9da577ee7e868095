#include "core/summary/errorlog.h"

#include "core/base/filesystem.h"
#include "core/base/shownpaths.h"

#include <QFileInfo>

#include <cerrno>

namespace fotolista {

std::optional<QString> logCreationProblem(const QString& path)
{
    switch (entryKind(path)) {
    case EntryKind::Link: return QStringLiteral("es un enlace simbólico");
    case EntryKind::Folder: return QStringLiteral("es una carpeta");
    case EntryKind::Other:
        if (const int error = fileWriteError(path))
            return systemErrorText(error);
        return std::nullopt;
    case EntryKind::None: break;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("no existe la carpeta «%1»").arg(shownPath(folder));
    if (const int error = folderWriteError(folder))
        return systemErrorText(error);
    return std::nullopt;
}

}  // namespace fotolista
