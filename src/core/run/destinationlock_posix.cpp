#include "core/run/destinationlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fotolista {

DestinationLock::DestinationLock(const QString& fingerprintPath) : m_path(fingerprintPath + QStringLiteral(".lock")) {}

DestinationLock::~DestinationLock()
{
    if (m_file != kNoFile)
        ::close(int(m_file));
}

LockAttempt DestinationLock::tryTake()
{
    if (m_held)
        return LockAttempt::Taken;
    if (m_file == kNoFile) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        // Never through a link: the lock file is opened for writing.
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return LockAttempt::Unavailable;
        m_file = fd;
    }
    // flock, not fcntl: its locks belong to the open file, so two runs in one
    // process exclude each other too, and a fork does not drop them.
    int result = 0;
    do
        result = ::flock(int(m_file), LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_held = true;
        return LockAttempt::Taken;
    }
    return errno == EWOULDBLOCK ? LockAttempt::Busy : LockAttempt::Unavailable;
}

}  // namespace fotolista
