#include "core/summary/errorlog.h"

#include "core/base/filesystem.h"
#include "core/base/shownpaths.h"

#include <QFileInfo>

#include <cerrno>

namespace fotolista {

bool ErrorLog::writeLine(const QString& text)
{
    if (m_file == kNoFile)
        return false;
    // Each line reaches the file at once, so it survives whatever ends the run.
    const QByteArray line = text.toUtf8() + "\r\n";
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        int error = 0;
        const qsizetype n = writeSome(data, left, error);
        if (n <= 0) {
            m_problem = systemErrorText(n < 0 ? error : ENOSPC);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

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
