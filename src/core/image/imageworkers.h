#pragma once

#include "core/image/memorybudget.h"
#include "core/image/prepareimages.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fotolista {

/// A fixed set of threads that prepare sources in the order asked, the
/// photos decoded together within `budgetBytes` (see MemoryBudget). Each
/// piece of work gets a future; the destructor lets the work in hand finish.
class ImageWorkers {
public:
    explicit ImageWorkers(int threads, qint64 budgetBytes = defaultDecodeBudget());
    ~ImageWorkers();
    ImageWorkers(const ImageWorkers&) = delete;
    ImageWorkers& operator=(const ImageWorkers&) = delete;

    std::shared_future<std::shared_ptr<PreparedImages>> submit(const PrepareRequest& request);
    int threadCount() const { return int(m_threads.size()); }

private:
    void work();

    MemoryBudget m_budget;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace fotolista
