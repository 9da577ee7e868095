#include "core/summary/errorlog.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

/// The log, replaced: a link at its name is removed and a new file made in
/// its place, never written through, so a link planted in the working
/// folder cannot turn the log onto another file.
int openLog(const QByteArray& name)
{
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0 && errno == ELOOP && ::unlink(name.constData()) == 0)
        fd = ::open(name.constData(), flags | O_EXCL, 0666);
    return fd;
}

} // namespace

bool ErrorLog::open(const QString& path)
{
    close();
    const int fd = openLog(QFile::encodeName(path));
    if (fd < 0)
        return false;
    if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

void ErrorLog::writeLine(const QString& text)
{
    if (!m_file.isOpen())
        return;
    m_file.write(text.toUtf8() + "\r\n");
    // Each line reaches the disk at once, so it survives whatever ends the run.
    m_file.flush();
}

void ErrorLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}
