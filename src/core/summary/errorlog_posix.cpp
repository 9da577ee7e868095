#include "core/summary/errorlog.h"

#include "core/base/filesystem.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fotolista {

bool ErrorLog::open(const QString& path)
{
    close();
    m_problem.clear();
    // Not through a link planted at its name: the log would land wherever it points.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_problem = errno == ELOOP ? QStringLiteral("es un enlace simbólico") : systemErrorText(errno);
        return false;
    }
    m_file = fd;
    return true;
}

bool ErrorLog::writeLine(const QString& text)
{
    if (m_file == kNoFile)
        return false;
    // Each line reaches the file at once, so it survives whatever ends the run.
    const QByteArray line = text.toUtf8() + "\r\n";
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(int(m_file), data, size_t(left));
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
    if (m_file != kNoFile)
        ::close(int(m_file));
    m_file = kNoFile;
}

}  // namespace fotolista
