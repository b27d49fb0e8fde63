#pragma once

#include <QtGlobal>

#include <deque>
#include <functional>
#include <utility>

namespace vantora {

// Keeps the file being copied and those after it read ahead from the medium, up to a number of bytes and
// of files. One file ahead left the medium idle between files while their copies were written, where the
// card and the copies share a disk; more than this would hold the card in memory for nothing. The first
// file is begun with the others, so its reads are not queued behind theirs.
class ReadAheadWindow final
{
public:
    static constexpr qint64 MaxBytes = 256 * 1024 * 1024;
    static constexpr qsizetype MaxFiles = 128;

    // start(i) begins reading file i and gives the bytes it began (0 for a file in the cache already).
    using Start = std::function<qint64(qsizetype index)>;
    // Drops what was begun and not yet read (the window is left before its files are reached).
    using Cancel = std::function<void()>;
    ReadAheadWindow(qsizetype count, Start start, Cancel cancel, qint64 maxBytes = MaxBytes,
                    qsizetype maxFiles = MaxFiles);
    // A run that stopped leaves files begun that it will not copy: the medium is not read on for them.
    ~ReadAheadWindow();
    ReadAheadWindow(const ReadAheadWindow &) = delete;
    ReadAheadWindow &operator=(const ReadAheadWindow &) = delete;

    // Before file `index` is copied: it and the files after it are begun, each once, until the window is
    // full.
    void advanceTo(qsizetype index);

private:
    const qsizetype m_count;
    const Start m_start;
    const Cancel m_cancel;
    const qint64 m_maxBytes;
    const qsizetype m_maxFiles;
    qsizetype m_current = -1;
    qsizetype m_next = 0;
    qint64 m_ahead = 0; // bytes begun for the file being copied and those after it
    std::deque<std::pair<qsizetype, qint64>> m_begun; // those files and their bytes
};

} // namespace vantora
