#include "source/sourcewalk.h"

#include "platform/bytepath.h"
#include "platform/copyfile.h"
#include "platform/directoryreader.h"
#include "platform/pathops.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>
#include <vector>

namespace vantora {

namespace {

using FolderKey = std::pair<quint64, quint64>; // device, inode

// What an entry is once links are followed.
EntryKind followedKind(const DirectoryReader &dir)
{
    const EntryKind listed = dir.entryKind();
    if (listed != EntryKind::Link && listed != EntryKind::Unknown)
        return listed;
    return dir.entryStatus(true).kind;
}

// One walk over a tree with many masks. The sink gets (folder text with "/", name bytes, length, how many
// masks took the file) for every file that at least one mask takes.
template <class Sink> class TreeWalk final
{
public:
    TreeWalk(const QStringList &masks, WalkPump *pump, Sink &sink, WalkFilter *filter)
        : m_masks(masks), m_pump(pump), m_sink(sink), m_filter(filter)
    {
    }

    void run(const QString &folder)
    {
        if (folder.isEmpty())
            return;
        DirectoryReader dir(folder);
        walk(dir, withTrailingSlash(folder));
    }

private:
    void walk(DirectoryReader &dir, const QString &prefix)
    {
        if (!dir.isOpen())
            return;
        const FileStatus self = dir.status();
        if (self.kind == EntryKind::Missing || !m_visited.emplace(self.device, self.inode).second)
            return;
        while (dir.next()) {
            const EntryKind kind = followedKind(dir);
            if (kind == EntryKind::Folder) {
                DirectoryReader sub = dir.openEntry(true);
                walk(sub, prefix + dir.name() + u'/');
                if (m_stopped)
                    return;
            } else if (kind == EntryKind::File) {
                offer(dir, prefix, dir.nameData(), dir.nameSize());
            }
            if (m_pump && m_pump->afterEntry()) {
                m_stopped = true;
                return;
            }
        }
    }

    void offer(const DirectoryReader &dir, const QString &prefix, const char *name, std::size_t len)
    {
        // A copy an interrupted run left unfinished is no photo.
        if (name[0] == '.' && len > 10 &&
            IsCopyLeftoverName(pathFromBytes(QByteArrayView(name, qsizetype(len)))))
            return;
        const int hits = m_masks.countMatches(name, len);
        if (hits > 0 && !(m_filter && m_filter->excludes(prefix, QByteArrayView(name, qsizetype(len)), dir)))
            m_sink(prefix, name, len, hits, dir);
    }

    MaskSet m_masks;
    WalkPump *m_pump;
    Sink &m_sink;
    WalkFilter *m_filter;
    std::set<FolderKey> m_visited;
    bool m_stopped = false;
};

template <class Sink>
void walkTree(const QString &folder, const QStringList &masks, WalkPump *pump, Sink &sink,
              WalkFilter *filter = nullptr)
{
    TreeWalk<Sink> walk(masks, pump, sink, filter);
    walk.run(folder);
}

struct ListSink
{
    QStringList &list;
    void operator()(const QString &prefix, const char *name, std::size_t len, int hits,
                    const DirectoryReader &)
    {
        const QString path = prefix + pathFromBytes(QByteArrayView(name, qsizetype(len)));
        for (int i = 0; i < hits; ++i)
            list.append(path);
    }
};

// True when nothing is left below the folder once its empty sub-folders are gone.
bool removeEmptyBelow(DirectoryReader &dir, WalkPump *pump, bool *stopped)
{
    if (!dir.isOpen())
        return false;
    bool empty = true;
    while (dir.next()) {
        EntryKind kind = dir.entryKind();
        if (kind == EntryKind::Unknown)
            kind = dir.entryStatus(false).kind;
        if (kind == EntryKind::Folder) {
            DirectoryReader sub = dir.openEntry(false);
            const bool subEmpty =
                sub.status().kind != EntryKind::Missing && removeEmptyBelow(sub, pump, stopped);
            if (!subEmpty || *stopped || dir.removeEntryFolder() != 0)
                empty = false;
        } else {
            empty = false; // a file of any kind, a link (never followed) or anything else
        }
        if (*stopped || (pump && pump->afterEntry())) {
            *stopped = true;
            return false;
        }
    }
    return empty;
}

} // namespace

WalkPump::WalkPump(std::function<bool()> stop, int intervalMs)
    : m_stop(std::move(stop)), m_interval(intervalMs),
      m_next(QDeadlineTimer::current().deadline() + intervalMs)
{
}

bool WalkPump::afterEntry()
{
    if (m_stopped)
        return true;
    // The clock is read every 16 entries only: cheap enough for 100,000-entry trees.
    if ((++m_entries & 15u) != 0)
        return false;
    const qint64 now = QDeadlineTimer::current().deadline();
    if (now < m_next)
        return false;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    m_next = QDeadlineTimer::current().deadline() + m_interval;
    m_stopped = m_stop && m_stop();
    return m_stopped;
}

bool WalkPump::pumpNow()
{
    if (m_stopped)
        return true;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    m_next = QDeadlineTimer::current().deadline() + m_interval;
    m_stopped = m_stop && m_stop();
    return m_stopped;
}

void CollectFiles(const QString &folder, const QString &mask, QStringList &list, WalkPump *pump)
{
    ListSink sink{list};
    walkTree(folder, QStringList{mask}, pump, sink);
}

QStringList CollectRunList(const QString &folder, const QStringList &masks, WalkPump *pump,
                           WalkFilter *filter)
{
    QStringList list;
    ListSink sink{list};
    walkTree(folder, masks, pump, sink, filter);
    SortRunList(list);
    return list;
}

std::vector<qsizetype> RunListOrder(const QStringList &list)
{
    const qsizetype n = list.size();
    std::vector<qsizetype> order(static_cast<std::size_t>(n));
    if (n < 2) {
        std::iota(order.begin(), order.end(), 0);
        return order;
    }
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    // All paths start with the source folder: only what follows the folders they share is keyed, which
    // orders them the same and keeps the keys short.
    const QString &first = list.at(0);
    qsizetype common = first.size();
    for (const QString &p : std::as_const(list)) {
        qsizetype i = 0;
        while (i < common && i < p.size() && p.at(i) == first.at(i))
            ++i;
        common = i;
    }
    const qsizetype cut = common > 0 ? first.lastIndexOf(u'/', common - 1) + 1 : 0;

    // Keys once per path rather than collating on every comparison. Folded first: the C and POSIX
    // collations keep case even when asked not to.
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(std::size_t(n));
    for (qsizetype i = 0; i < n; ++i)
        keys.emplace_back(collator.sortKey(QStringView(list.at(i)).mid(cut).toString().toCaseFolded()), i);
    std::sort(keys.begin(), keys.end(), [&list](const auto &a, const auto &b) {
        const int c = a.first.compare(b.first);
        if (c != 0)
            return c < 0;
        const int d = QStringView(list.at(a.second)).compare(QStringView(list.at(b.second)));
        return d != 0 ? d < 0 : a.second < b.second;
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].second;
    return order;
}

void SortRunList(QStringList &list)
{
    ApplyOrder(list, RunListOrder(list));
}

void WalkTakenFiles(const QString &folder, const QStringList &masks, const TakenFile &taken, WalkPump *pump,
                    WalkFilter *filter)
{
    auto sink = [&](const QString &prefix, const char *name, std::size_t len, int hits,
                    const DirectoryReader &entry) {
        taken(prefix, QByteArrayView(name, qsizetype(len)), hits, entry);
    };
    walkTree(folder, masks, pump, sink, filter);
}

qint64 CountFiles(const QString &folder, const QStringList &masks, WalkPump *pump, qint64 base,
                  const std::function<void(qint64)> &onMatch, WalkFilter *filter)
{
    qint64 total = base;
    auto sink = [&](const QString &, const char *, std::size_t, int hits, const DirectoryReader &) {
        if (!onMatch) {
            total += hits;
            return;
        }
        for (int i = 0; i < hits; ++i)
            onMatch(++total);
    };
    walkTree(folder, masks, pump, sink, filter);
    return total;
}

bool RemoveEmptySourceFolders(const QString &folder, WalkPump *pump)
{
    if (folder.isEmpty())
        return false;
    DirectoryReader dir(folder);
    bool stopped = false;
    return removeEmptyBelow(dir, pump, &stopped);
}

bool RemoveEmptySourceFolders(const QString &folder, const QSet<QString> &, WalkPump *pump)
{
    return RemoveEmptySourceFolders(folder, pump);
}

} // namespace vantora
