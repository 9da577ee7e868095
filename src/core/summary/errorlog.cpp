#include "core/summary/errorlog.h"

#include "core/base/filesystem.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fotolista {

bool ErrorLog::open(const QString& path)
{
    close();
    m_problem.clear();
    // Not through a link planted at its name: the log would land wherever it points.
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_problem = errno == ELOOP ? QStringLiteral("es un enlace simbólico") : systemErrorText(errno);
        return false;
    }
    return true;
}

bool ErrorLog::writeLine(const QString& text)
{
    if (m_fd < 0)
        return false;
    // Each line reaches the file at once, so it survives whatever ends the run.
    const QByteArray line = text.toUtf8() + "\r\n";
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_problem = systemErrorText(n < 0 ? errno : ENOSPC);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

void ErrorLog::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::optional<QString> logCreationProblem(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return QStringLiteral("es un enlace simbólico");
        if (S_ISDIR(st.st_mode))
            return QStringLiteral("es una carpeta");
        if (::access(name.constData(), W_OK) != 0)
            return systemErrorText(errno);
        return std::nullopt;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("no existe la carpeta «%1»").arg(folder);
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return systemErrorText(errno);
    return std::nullopt;
}

}  // namespace fotolista
