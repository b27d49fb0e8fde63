#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <future>

namespace vantora {

// Asks questions that may block without a time limit (a hard-mounted share whose server is gone) on a
// thread of their own. A question that has no answer within the wait counts as "no"; it is not asked
// again under the same key while it still runs, and its late answer is what the next call gets.
class TimedProbes final
{
public:
    bool ask(const QString &key, std::function<bool()> question, std::chrono::milliseconds wait);

private:
    QHash<QString, std::shared_future<bool>> m_running;
};

} // namespace vantora
