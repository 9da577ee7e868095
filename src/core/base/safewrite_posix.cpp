#include "core/base/safewrite.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fotolista {

namespace {

// The temporary file in hand, for signal handlers: a fixed buffer, since
// handlers may not allocate, published through a lock-free flag.
char g_tempPath[4096];
std::atomic<bool> g_published{false};
std::atomic_flag g_slotTaken;
static_assert(std::atomic<bool>::is_always_lock_free);

/// Publishes the temporary file's name while it lives. Writes happen on
/// one thread; should two ever overlap, the second is simply not published.
class InProgress {
public:
    explicit InProgress(const QByteArray& name)
    {
        if (name.size() >= qsizetype(sizeof g_tempPath) || g_slotTaken.test_and_set())
            return;
        std::memcpy(g_tempPath, name.constData(), size_t(name.size()) + 1);
        g_published.store(true, std::memory_order_release);
        m_owner = true;
    }
    ~InProgress()
    {
        if (!m_owner)
            return;
        g_published.store(false, std::memory_order_release);
        g_slotTaken.clear();
    }
    InProgress(const InProgress&) = delete;
    InProgress& operator=(const InProgress&) = delete;

private:
    bool m_owner = false;
};

/// Hidden, so a half-written file is never taken for a result, and short
/// whatever the target's name, so every name the file system takes can be
/// written; random, so nobody can plant anything there beforehand.
QByteArray randomName()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name(".fotolista-");
    for (int i = 0; i < 12; ++i)
        name += kLetters[QRandomGenerator::system()->bounded(36)];
    return name;
}

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

bool writeFileSafely(const QString& path, QByteArrayView bytes)
{
    return writeFileSafely(path, bytes, randomName);
}

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
    const InProgress inProgress(tempName);
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

const char* writeInProgressPath()
{
    return g_published.load(std::memory_order_acquire) ? g_tempPath : "";
}

}  // namespace fotolista
