#pragma once

#include <QDateTime>
#include <QString>

#include <compare>

namespace vantora {

// A modification time as a filesystem keeps it. Nanoseconds since the epoch in a qint64 end in April 2262;
// seconds and nanoseconds hold any time a file can carry.
struct FileTime
{
    qint64 sec = 0;
    qint32 nsec = 0; // 0 to 999'999'999

    // From nanoseconds since the epoch (every time from 1677 to 2262).
    static constexpr FileTime fromNs(qint64 ns)
    {
        const qint64 rest = ns % 1'000'000'000;
        return rest < 0 ? FileTime{ns / 1'000'000'000 - 1, qint32(rest + 1'000'000'000)}
                        : FileTime{ns / 1'000'000'000, qint32(rest)};
    }
    // Nanoseconds since the epoch; a time outside 1677 to 2262 is clamped to the nearer end.
    qint64 ns() const;
    friend auto operator<=>(const FileTime &, const FileTime &) = default;
};

// The last-modification time of the file at path (links followed), looked up through its byte path
// (pathToBytes), so names that are not valid UTF-8 are found. Invalid when the file cannot be looked up.
QDateTime fileLastModified(const QString &path);

} // namespace vantora
