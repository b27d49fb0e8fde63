#include "transfer/transferrate.h"

#include <QDeadlineTimer>

namespace vantora {

namespace {

constexpr qint64 SpeedWindowMs = 5000;
constexpr qint64 NoEstimateMs = 2000;
constexpr qint64 ShowEveryMs = 250;

TransferRate::Clock &testClock()
{
    static TransferRate::Clock clock;
    return clock;
}

} // namespace

void SetTransferClockForTesting(TransferRate::Clock clock)
{
    testClock() = std::move(clock);
}

TransferRate::Clock transferClockForRuns()
{
    return testClock();
}

TransferRate::TransferRate(Clock clock) : m_clock(std::move(clock))
{
}

qint64 TransferRate::now() const
{
    return m_clock ? m_clock() : QDeadlineTimer::current().deadline();
}

void TransferRate::start(qint64 totalBytes)
{
    m_total = totalBytes;
    m_done = 0;
    m_started = now();
    m_lastShown = -1;
    m_samples.clear();
    m_samples.emplace_back(m_started, 0);
}

void TransferRate::setDone(qint64 doneBytes)
{
    m_done = doneBytes;
    const qint64 t = now();
    m_samples.emplace_back(t, doneBytes);
    // Keep one sample at or before the window's start, so the speed always spans the whole window.
    while (m_samples.size() > 2 && m_samples[1].first <= t - SpeedWindowMs)
        m_samples.pop_front();
}

bool TransferRate::due()
{
    const qint64 t = now();
    if (m_lastShown >= 0 && t - m_lastShown < ShowEveryMs)
        return false;
    m_lastShown = t;
    return true;
}

QString TransferRate::bytesText(qint64 bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024)
        return QString::number(qMax<qint64>(bytes, 0)) + QStringLiteral(" B");
    double value = double(bytes) / 1024.0;
    int unit = 0;
    // One decimal: a value that rounds to 1024.0 moves up a unit.
    while (unit < 4 && value >= 1023.95) {
        value /= 1024.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString TransferRate::durationText(qint64 seconds)
{
    seconds = qMax<qint64>(seconds, 0);
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds % 3600) / 60;
    const qint64 s = seconds % 60;
    const QString ss = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(ss);
    return QStringLiteral("%1:%2").arg(m).arg(ss);
}

QString TransferRate::text() const
{
    const qint64 t = m_samples.empty() ? m_started : m_samples.back().first;
    double speed = 0; // bytes per second
    if (m_samples.size() >= 2) {
        const auto &[t0, d0] = m_samples.front();
        const auto &[t1, d1] = m_samples.back();
        if (t1 > t0)
            speed = double(d1 - d0) * 1000.0 / double(t1 - t0);
    }
    QString left = QStringLiteral("--:--");
    if (t - m_started >= NoEstimateMs && speed > 0)
        left = durationText(qint64(double(qMax<qint64>(m_total - m_done, 0)) / speed + 0.5));
    return bytesText(m_done) + QStringLiteral(" / ") + bytesText(m_total) + QStringLiteral("  ") +
           bytesText(qint64(speed + 0.5)) + QStringLiteral("/s  残り ") + left;
}

} // namespace vantora
