#include "core/base/uiservices.h"

#include <chrono>
#include <thread>

namespace fotolista {

void UiServices::waitUntil(const std::function<bool()>& ready)
{
    while (!ready())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace fotolista
