#include "core/base/safewrite.h"

#include "core/base/safewrite_detail.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fotolista {

namespace {

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

/// Whether what stands at `name`, if anything, may be replaced. The rename
/// would replace even a file the user made read-only, so the file's own
/// permission bits decide; root may write anything, so for root any write
/// bit will do and a file nobody may write stays. A link is replaced by the
/// file, and what it points to is left alone, so only the link counts.
bool mayReplace(const QByteArray& name)
{
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return true;  // nothing there (or the write fails by itself), or a link
    if (::geteuid() == 0)
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) == 0;
}

/// A new file in `folder`, as mkstemp makes one: a name already taken, by
/// anything (a planted link too), means another name. -1 on failure.
int createTemporary(const QByteArray& folder, const std::function<QByteArray()>& nextName, QByteArray& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + nextName();
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

bool writeFileSafely(const QString& path, QByteArrayView bytes, const std::function<QByteArray()>& nextName)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QByteArray finalName = QFile::encodeName(info.absoluteFilePath());
    if (!mayReplace(finalName)) {
        errno = EACCES;
        return false;
    }
    QByteArray tempName;
    const int fd = createTemporary(QFile::encodeName(info.absolutePath()) + '/', nextName, tempName);
    if (fd < 0)
        return false;
    const safewrite_detail::WriteInProgress inProgress(tempName);
    // No fsync: the rename already keeps readers from ever seeing a partial
    // file, and a sync per image would slow long batches.
    bool ok = writeAll(fd, bytes.data(), bytes.size());
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = std::rename(tempName.constData(), finalName.constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(tempName.constData());
        errno = error;
    }
    return ok;
}

}  // namespace fotolista
