#include "core/image/memorybudget.h"

#include <algorithm>
#include <utility>

namespace fotolista {

MemoryBudget::Share::~Share()
{
    if (m_budget)
        m_budget->give(m_bytes);
}

MemoryBudget::Share::Share(Share&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(other.m_bytes)
{
}

MemoryBudget::Share& MemoryBudget::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        if (m_budget)
            m_budget->give(m_bytes);
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = other.m_bytes;
    }
    return *this;
}

MemoryBudget::Share MemoryBudget::take(qint64 bytes)
{
    std::unique_lock lock(m_mutex);
    const quint64 ticket = m_nextTicket++;
    m_changed.wait(lock, [&] { return m_serving == ticket && (m_held == 0 || m_held + bytes <= m_limit); });
    ++m_serving;
    m_held += bytes;
    lock.unlock();
    // The next in line may fit beside this one.
    m_changed.notify_all();
    return Share(this, bytes);
}

qint64 MemoryBudget::held() const
{
    const std::lock_guard lock(m_mutex);
    return m_held;
}

qint64 MemoryBudget::waiting() const
{
    const std::lock_guard lock(m_mutex);
    return qint64(m_nextTicket - m_serving);
}

void MemoryBudget::give(qint64 bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_held -= bytes;
    }
    m_changed.notify_all();
}

qint64 defaultDecodeBudget()
{
    constexpr qint64 kMost = qint64(2) << 30;
    const qint64 memory = physicalMemory();
    if (memory <= 0)
        return kMost;
    return std::min(kMost, memory / 4);
}

qint64 decodeBytesFor(qint64 pixels)
{
    // Measured on a 144-megapixel progressive 4:4:4 JPEG, the costliest
    // photo: 1.29 GB, nine bytes a pixel; twelve leave room for a 16-bit
    // PNG or TIFF converted to 8 bits.
    return std::max<qint64>(pixels, 0) * 12;
}

}  // namespace fotolista
