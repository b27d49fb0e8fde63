#include "platform/timedprobe.h"

#include <memory>
#include <thread>

namespace vantora {

bool TimedProbes::ask(const QString &key, std::function<bool()> question, std::chrono::milliseconds wait)
{
    auto it = m_running.find(key);
    if (it == m_running.end()) {
        auto answer = std::make_shared<std::promise<bool>>();
        it = m_running.insert(key, answer->get_future().share());
        // Detached: a thread stuck in the kernel must neither hold up this one nor the program's exit.
        std::thread([answer, question = std::move(question)] { answer->set_value(question()); }).detach();
    } else {
        wait = std::chrono::milliseconds(0);
    }
    if (it->wait_for(wait) != std::future_status::ready)
        return false;
    const bool result = it->get();
    m_running.erase(it);
    return result;
}

} // namespace vantora
