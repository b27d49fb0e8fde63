#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <utility>

namespace vantora {

// The line under the gauges during a run: bytes done of the run's total, the speed over the last five
// seconds and the time left, e.g. "1.2 GB / 4.8 GB  85.3 MB/s  残り 0:42".
class TransferRate final
{
public:
    // Milliseconds from any fixed point; the steady clock unless a test hands in its own.
    using Clock = std::function<qint64()>;
    explicit TransferRate(Clock clock = {});

    void start(qint64 totalBytes);
    // A file that will not be copied after all (taken as imported, or no free name): out of the total.
    void dropFromTotal(qint64 bytes) { m_total -= bytes; }
    void setDone(qint64 doneBytes);
    qint64 total() const { return m_total; }
    qint64 done() const { return m_done; }

    // True at most four times a second: when the line is worth showing again.
    bool due();
    QString text() const;

    // 1024-based with one decimal: "512 B", "1.0 KB", "85.3 MB", "4.8 GB".
    static QString bytesText(qint64 bytes);
    // "0:42", "12:05", "1:02:03".
    static QString durationText(qint64 seconds);

private:
    qint64 now() const;

    Clock m_clock;
    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_started = 0;
    qint64 m_lastShown = -1;
    std::deque<std::pair<qint64, qint64>> m_samples; // (time, done) over the last five seconds
};

// Tests make every run's line follow their clock through this; nothing else sets it.
void SetTransferClockForTesting(TransferRate::Clock clock);
TransferRate::Clock transferClockForRuns();

} // namespace vantora
