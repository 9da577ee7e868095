#include "core/image/rowpreparation.h"

#include "core/base/uiservices.h"

#include <chrono>

namespace fotolista {

void RowPreparation::schedule(qint64 key, const PrepareRequest& request)
{
    const auto it = m_entries.constFind(key);
    if (it != m_entries.constEnd() && it->request == request)
        return;
    m_entries.insert(key, Entry{request, m_workers.submit(request)});
}

std::shared_ptr<PreparedImages> RowPreparation::obtain(qint64 key, const PrepareRequest& request, UiServices& ui)
{
    schedule(key, request);
    const std::shared_future<std::shared_ptr<PreparedImages>> result = m_entries.value(key).result;
    m_entries.remove(key);
    ui.waitUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return result.get();
}

void RowPreparation::forgetBefore(qint64 key)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it.key() < key)
            it = m_entries.erase(it);
        else
            ++it;
    }
}

}  // namespace fotolista
