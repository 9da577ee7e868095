#include "core/image/imageworkers.h"

namespace fotolista {

ImageWorkers::ImageWorkers(int threads, qint64 budgetBytes) : m_budget(budgetBytes)
{
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

ImageWorkers::~ImageWorkers()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();  // work not started is not wanted any more
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

std::shared_future<std::shared_ptr<PreparedImages>> ImageWorkers::submit(const PrepareRequest& request)
{
    auto task = std::make_shared<std::packaged_task<std::shared_ptr<PreparedImages>()>>(
        [this, request] { return std::make_shared<PreparedImages>(prepareImages(request, &m_budget)); });
    std::shared_future<std::shared_ptr<PreparedImages>> result = task->get_future().share();
    {
        const std::lock_guard lock(m_mutex);
        m_queue.emplace_back([task] { (*task)(); });
    }
    m_wake.notify_one();
    return result;
}

void ImageWorkers::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

}  // namespace fotolista
