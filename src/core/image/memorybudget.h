#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

namespace fotolista {

/// The memory the photos being decoded together may take. Decodes are let
/// in in the order they ask; one that would take the total beyond the limit
/// waits until earlier ones are done, and one alone is let in whatever it
/// needs (the pixel limit bounds it), so no photo waits forever.
class MemoryBudget {
public:
    explicit MemoryBudget(qint64 limitBytes) : m_limit(limitBytes) {}

    /// Holds its share of the budget while it lives.
    class Share {
    public:
        Share() = default;
        Share(MemoryBudget* budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        ~Share();
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;

    private:
        MemoryBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    /// Waits for its turn and for room, then takes `bytes`.
    [[nodiscard]] Share take(qint64 bytes);

    qint64 limit() const { return m_limit; }
    /// What the decodes let in hold now.
    qint64 held() const;
    /// How many decodes wait for their turn or for room.
    qint64 waiting() const;

private:
    void give(qint64 bytes);

    const qint64 m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_held = 0;
    quint64 m_nextTicket = 0;
    quint64 m_serving = 0;
};

/// The machine's memory in bytes; 0 when the system does not tell.
qint64 physicalMemory();

/// By default a quarter of the machine's memory, at most 2 GB.
qint64 defaultDecodeBudget();

/// What decoding a photo of `pixels` is counted to take: the picture, the
/// decoder's own buffers (a progressive JPEG keeps every coefficient), the
/// turned and converted copies.
qint64 decodeBytesFor(qint64 pixels);

}  // namespace fotolista
