#pragma once

#include "platform/filetimes.h"
#include "platform/pathtext.h"

#include "source/maskmatch.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

namespace vantora {

// Keeps the window alive during a walk: pending events run about every 20 ms (not after every entry, which
// would cost more than the walk), and after each run the stop test is asked.
class WalkPump final
{
public:
    // intervalMs: how long the walk may run between two event pumps (tests shorten it).
    explicit WalkPump(std::function<bool()> stop = {}, int intervalMs = 20);
    // Called after each entry; true when the walk must end.
    bool afterEntry();
    // Pending events now, then the stop test; for a wait that has no entries to count.
    bool pumpNow();
    bool stopped() const { return m_stopped; }

private:
    std::function<bool()> m_stop;
    int m_interval;
    qint64 m_next = 0;
    unsigned m_entries = 0;
    bool m_stopped = false;
};

class DirectoryReader;

// Leaves files out of a walk after the masks took them (files already imported). Asked once per taken
// file, with the folder's text (ending in "/") and the name's bytes; the reader stands on the entry, so
// its entryStatus() is the file's.
class WalkFilter
{
public:
    virtual ~WalkFilter() = default;
    virtual bool excludes(const QString &folder, QByteArrayView name, const DirectoryReader &entry) = 0;
    // The same for a file a listing gave without a directory entry (a camera's), with its size and time.
    virtual bool excludesListed(const QString &folder, QByteArrayView name, qint64 size, FileTime mtime)
    {
        Q_UNUSED(folder)
        Q_UNUSED(name)
        Q_UNUSED(size)
        Q_UNUSED(mtime)
        return false;
    }
};

// The walks visit every entry of the tree (hidden and system ones included) depth first. Folder links are
// followed, but each real folder (device and inode) is walked once, so a link cycle ends. Only regular files
// (after following links) are taken: a fifo or device node on a card would hang a copy. A folder that cannot
// be listed contributes nothing. Paths are the texts of the names' exact bytes (pathFromBytes), so a name
// that is not UTF-8 is listed as itself and pathToBytes gives it back for every operation.

// Appends to list every file under folder whose name matches mask, as folder + "/" + relative path.
void CollectFiles(const QString &folder, const QString &mask, QStringList &list, WalkPump *pump = nullptr);

// The run list of the given masks from one walk: a file appears once for every mask that takes it, as if
// the tree had been walked once per mask. Sorted with SortRunList.
QStringList CollectRunList(const QString &folder, const QStringList &masks, WalkPump *pump = nullptr,
                           WalkFilter *filter = nullptr);

// Sorts whole paths ascending, without case, by the user's locale collation (equal keys by code point,
// so the order is always the same).
void SortRunList(QStringList &list);
// The same order as positions: the i-th path of the sorted list is list.at(order[i]).
std::vector<qsizetype> RunListOrder(const QStringList &list);
// Puts a list in an order RunListOrder gave, following the permutation's cycles: no second list.
template <class List> void ApplyOrder(List &list, const std::vector<qsizetype> &order)
{
    std::vector<bool> placed(order.size(), false);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (placed[i])
            continue;
        auto held = std::move(list[qsizetype(i)]);
        std::size_t j = i;
        for (;;) {
            placed[j] = true;
            const auto from = std::size_t(order[j]);
            if (from == i) {
                list[qsizetype(j)] = std::move(held);
                break;
            }
            list[qsizetype(j)] = std::move(list[qsizetype(from)]);
            j = from;
        }
    }
}

// Calls taken for every file the masks take, in walk order, with its folder's text (ending in "/"), its
// name's bytes, how many masks took it, and the reader standing on its entry.
using TakenFile =
    std::function<void(const QString &folder, QByteArrayView name, int hits, const DirectoryReader &entry)>;
void WalkTakenFiles(const QString &folder, const QStringList &masks, const TakenFile &taken,
                    WalkPump *pump = nullptr, WalkFilter *filter = nullptr);

// Counts, in one walk, the files every mask takes (a file taken by two masks counts twice). onMatch, when
// given, runs after each counted file with the running total (the total starts at base). Returns the
// total, partial when the pump stopped the walk.
qint64 CountFiles(const QString &folder, const QStringList &masks, WalkPump *pump = nullptr, qint64 base = 0,
                  const std::function<void(qint64)> &onMatch = {}, WalkFilter *filter = nullptr);

// The tidy-up after a move: removes, deepest first, every empty folder below folder, and a folder left
// empty once its sub-folders went (also one that was empty before the move). The folder itself is never
// removed. Any entry that is not a folder (hidden files, links, anything) keeps its folder and all parents.
// Folder links are neither followed nor removed, so nothing outside the tree is touched. Returns true when
// nothing is left below folder.
bool RemoveEmptySourceFolders(const QString &folder, WalkPump *pump = nullptr);
// The same for callers that still hand in the folders a move emptied; the set is not needed.
bool RemoveEmptySourceFolders(const QString &folder, const QSet<QString> &emptiedFolders,
                              WalkPump *pump = nullptr);

} // namespace vantora
