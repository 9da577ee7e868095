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

qsizetype ErrorLog::writeSome(const char* data, qsizetype size, int& error)
{
    for (;;) {
        const ssize_t n = ::write(int(m_file), data, size_t(size));
        if (n >= 0)
            return qsizetype(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

void ErrorLog::close()
{
    if (m_file != kNoFile)
        ::close(int(m_file));
    m_file = kNoFile;
}

}  // namespace fotolista
