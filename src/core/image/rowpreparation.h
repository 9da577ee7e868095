#pragma once

#include "core/image/imageworkers.h"

#include <QHash>

#include <memory>

namespace fotolista {

class UiServices;

/// The sources of the rows ahead, prepared by the workers while the run
/// stamps and saves the row in hand. A row uses its prepared images only when
/// they were made with the settings its own steps read; otherwise the work is
/// done again with the settings as they are now.
class RowPreparation {
public:
    explicit RowPreparation(int threads, qint64 budgetBytes = defaultDecodeBudget()) : m_workers(threads, budgetBytes)
    {
    }

    /// Starts preparing the row at `key` (its offset in the walk) unless the
    /// same work is already under way.
    void schedule(qint64 key, const PrepareRequest& request);

    /// The row's images made for exactly `request`: the scheduled ones when
    /// they match, else fresh work. Waits through `ui` without yielding.
    std::shared_ptr<PreparedImages> obtain(qint64 key, const PrepareRequest& request, UiServices& ui);

    /// Drops what was prepared for rows before `key` (they are done).
    void forgetBefore(qint64 key);

    int threadCount() const { return m_workers.threadCount(); }

private:
    struct Entry {
        PrepareRequest request;
        std::shared_future<std::shared_ptr<PreparedImages>> result;
    };
    ImageWorkers m_workers;
    QHash<qint64, Entry> m_entries;
};

}  // namespace fotolista
