#include "core/base/safewrite.h"

#include "core/base/safewrite_detail.h"

#include <QRandomGenerator>

#include <atomic>
#include <cstring>

namespace fotolista {

namespace safewrite_detail {

namespace {

// The temporary file in hand, for signal handlers: a fixed buffer, since
// handlers may not allocate, published through a lock-free flag.
char g_tempPath[4096];
std::atomic<bool> g_published{false};
std::atomic_flag g_slotTaken;
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

WriteInProgress::WriteInProgress(const QByteArray& name)
{
    if (name.size() >= qsizetype(sizeof g_tempPath) || g_slotTaken.test_and_set())
        return;
    std::memcpy(g_tempPath, name.constData(), size_t(name.size()) + 1);
    g_published.store(true, std::memory_order_release);
    m_owner = true;
}

WriteInProgress::~WriteInProgress()
{
    if (!m_owner)
        return;
    g_published.store(false, std::memory_order_release);
    g_slotTaken.clear();
}

QByteArray randomName()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name(".fotolista-");
    for (int i = 0; i < 12; ++i)
        name += kLetters[QRandomGenerator::system()->bounded(36)];
    return name;
}

}  // namespace safewrite_detail

bool writeFileSafely(const QString& path, QByteArrayView bytes)
{
    return writeFileSafely(path, bytes, safewrite_detail::randomName);
}

const char* writeInProgressPath()
{
    using safewrite_detail::g_published;
    return g_published.load(std::memory_order_acquire) ? safewrite_detail::g_tempPath : "";
}

}  // namespace fotolista
