#include "platform/volumesmounttable.h"

#include "platform/bytepath.h"
#include "platform/directoryreader.h"
#include "platform/filepath.h"
#include "platform/pathops.h"
#include "platform/udisks.h"

#include <QFile>
#include <QSet>

#include <algorithm>

#include <blkid/blkid.h>
#include <sys/statvfs.h>

namespace vantora {

namespace {

// Mount table fields escape space, tab, newline and backslash as "\ooo".
QString unescapeOctal(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '7') {
            out.append(
                char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return pathFromBytes(out);
}

// The by-label links escape unsafe bytes as "\xHH".
QString unescapeHex(const QByteArray &name)
{
    QByteArray out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const int v = name.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(name[i]);
    }
    return QString::fromUtf8(out);
}

bool isPseudoFs(const QString &type)
{
    static const QSet<QString> pseudo = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),       QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),     QStringLiteral("devtmpfs"),    QStringLiteral("devpts"),
        QStringLiteral("mqueue"),      QStringLiteral("debugfs"),     QStringLiteral("tracefs"),
        QStringLiteral("securityfs"),  QStringLiteral("pstore"),      QStringLiteral("bpf"),
        QStringLiteral("configfs"),    QStringLiteral("fusectl"),     QStringLiteral("hugetlbfs"),
        QStringLiteral("autofs"),      QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rpc_pipefs"),  QStringLiteral("selinuxfs"),
        QStringLiteral("fuse.portal"), QStringLiteral("ramfs"),
    };
    return pseudo.contains(type);
}

bool isRemoteFs(const QString &type)
{
    static const QSet<QString> remote = {
        QStringLiteral("nfs"),  QStringLiteral("nfs4"),        QStringLiteral("cifs"),
        QStringLiteral("smb3"), QStringLiteral("smbfs"),       QStringLiteral("fuse.sshfs"),
        QStringLiteral("9p"),   QStringLiteral("davfs"),       QStringLiteral("fuse.davfs"),
        QStringLiteral("afs"),  QStringLiteral("fuse.rclone"), QStringLiteral("ceph"),
    };
    return remote.contains(type);
}

QString readSmallFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(f.readAll()).trimmed();
}

// A block device the kernel marks removable (USB readers), or a card slot (mmcblk).
bool isRemovableBlockDevice(const QString &devNumber)
{
    if (devNumber.isEmpty() || devNumber.startsWith(QLatin1String("0:")))
        return false;
    QString dev = canonicalPath(QStringLiteral("/sys/dev/block/") + devNumber);
    if (dev.isEmpty())
        return false;
    if (statPath(dev + QLatin1String("/partition")).kind != EntryKind::Missing)
        dev = FilePath(dev).parent().text();
    if (FilePath(dev).name().startsWith(QLatin1String("mmcblk")))
        return true;
    return readSmallFile(dev + QLatin1String("/removable")) == QLatin1String("1") ||
           dev.contains(QLatin1String("/usb"));
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    QList<MountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const qsizetype dash = f.indexOf(QByteArray("-"));
        if (f.size() < 7 || dash < 6 || dash + 2 >= f.size())
            continue;
        MountEntry e;
        e.devNumber = QString::fromLatin1(f[2]);
        e.mountPoint = unescapeOctal(f[4]);
        e.fsType = unescapeOctal(f[dash + 1]);
        e.source = unescapeOctal(f[dash + 2]);
        if (isPseudoFs(e.fsType))
            continue;
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const MountEntry &o) { return o.mountPoint == e.mountPoint; }),
                      entries.end());
        entries.append(e);
    }
    // A mount over a folder hides what was mounted below it.
    QList<MountEntry> visible;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        bool hidden = false;
        for (qsizetype j = i + 1; j < entries.size() && !hidden; ++j)
            hidden = entries[i].mountPoint != entries[j].mountPoint &&
                     entries[j].mountPoint != QLatin1String("/") &&
                     FilePath(entries[i].mountPoint).isSameOrInside(FilePath(entries[j].mountPoint));
        if (!hidden)
            visible.append(entries[i]);
    }
    std::sort(visible.begin(), visible.end(),
              [](const MountEntry &a, const MountEntry &b) { return a.mountPoint < b.mountPoint; });
    return visible;
}

MountTableVolumes::MountTableVolumes(const QString &mountInfoPath) : m_path(mountInfoPath)
{
}

void MountTableVolumes::reload() const
{
    QFile f(m_path);
    m_entries.clear();
    if (!f.open(QIODevice::ReadOnly))
        return;
    for (const MountEntry &e : parseMountInfo(f.readAll()))
        m_entries.insert(e.mountPoint, e);
}

const MountEntry *MountTableVolumes::find(const QString &root) const
{
    QString key = root;
    while (key.size() > 1 && key.endsWith(u'/'))
        key.chop(1);
    auto it = m_entries.constFind(key);
    if (it == m_entries.constEnd()) {
        reload();
        it = m_entries.constFind(key);
    }
    return it == m_entries.constEnd() ? nullptr : &it.value();
}

QStringList MountTableVolumes::roots() const
{
    reload();
    QStringList out = m_entries.keys();
    std::sort(out.begin(), out.end());
    return out;
}

DriveType MountTableVolumes::driveType(const QString &root) const
{
    const MountEntry *e = find(root);
    if (!e || !isFolderPath(e->mountPoint))
        return DriveType::NoRootDir;
    if (isRemoteFs(e->fsType))
        return DriveType::Remote;
    if (e->fsType == QLatin1String("iso9660") || e->fsType == QLatin1String("udf"))
        return DriveType::CdRom;
    if (e->fsType == QLatin1String("tmpfs"))
        return DriveType::RamDisk;
    if (isRemovableBlockDevice(e->devNumber) || e->mountPoint.startsWith(QLatin1String("/media/")) ||
        e->mountPoint.startsWith(QLatin1String("/run/media/")))
        return DriveType::Removable;
    return DriveType::Fixed;
}

bool MountTableVolumes::isReady(const QString &root) const
{
    const MountEntry *e = find(root);
    if (!e)
        return false;
    const QString mountPoint = e->mountPoint;
    const DriveType type = driveType(root);
    const auto answers = [mountPoint, type] {
        struct statvfs st;
        if (statvfs(pathToBytes(mountPoint).constData(), &st) != 0)
            return false;
        if (type != DriveType::Remote && type != DriveType::CdRom)
            return true;
        // A disconnected share or an empty tray answers the size query but lists nothing.
        DirectoryReader root(mountPoint);
        return root.next();
    };
    // A share whose server is gone can block any query for minutes: the watch must not freeze the window.
    if (type == DriveType::Remote)
        return m_remoteProbes.ask(e->mountPoint, answers, std::chrono::milliseconds(300));
    return answers();
}

QString MountTableVolumes::label(const QString &root) const
{
    const MountEntry *e = find(root);
    if (!e || !e->source.startsWith(QLatin1String("/dev/")))
        return QString();
    const QString device = canonicalPath(e->source);
    if (device.isEmpty())
        return QString();
    const QString byLabel = QStringLiteral("/dev/disk/by-label/");
    DirectoryReader links(byLabel);
    while (links.next()) {
        if (canonicalPath(byLabel + links.name()) == device)
            return unescapeHex(links.nameBytes().toByteArray());
    }
    // No udev links (a container, a minimal system): udisks2 reads the label itself where it runs.
    return udisksLabel(e->mountPoint);
}

QString MountTableVolumes::identity(const QString &root) const
{
    const MountEntry *e = find(root);
    if (!e)
        return QString();
    if (e->source.startsWith(QLatin1String("/dev/"))) {
        const QString device = canonicalPath(e->source);
        const QString byUuid = QStringLiteral("/dev/disk/by-uuid/");
        DirectoryReader links(byUuid);
        while (!device.isEmpty() && links.next()) {
            if (canonicalPath(byUuid + links.name()) == device)
                return QStringLiteral("uuid:") + links.name();
        }
        // No udev links (a container, a minimal system): ask the device itself when it can be read.
        if (blkid_probe probe = blkid_new_probe_from_filename(pathToBytes(e->source).constData())) {
            QString uuid;
            const char *value = nullptr;
            if (blkid_do_safeprobe(probe) == 0 &&
                blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0)
                uuid = QString::fromUtf8(value);
            blkid_free_probe(probe);
            if (!uuid.isEmpty())
                return QStringLiteral("uuid:") + uuid;
        }
        // An ordinary user cannot read the device: udisks2 read it where it runs.
        if (const QString uuid = udisksUuid(e->mountPoint); !uuid.isEmpty())
            return QStringLiteral("uuid:") + uuid;
    }
    // Nothing of its own tells it apart (a tmpfs, a share): no identity.
    return QString();
}

std::unique_ptr<Volumes> createSystemVolumes()
{
    return std::make_unique<MountTableVolumes>();
}

} // namespace vantora
