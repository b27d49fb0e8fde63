#pragma once

#include "platform/timedprobe.h"
#include "platform/volumes.h"

#include <QHash>
#include <QString>

namespace vantora {

// One line of /proc/self/mountinfo.
struct MountEntry
{
    QString mountPoint;
    QString fsType;
    QString source;    // the device or share, as the mount table names it
    QString devNumber; // "major:minor"
};

// Reads a mountinfo text: one entry per visible mount point (a later mount over the same point wins),
// pseudo file systems (proc, sysfs, cgroup, ...) left out.
QList<MountEntry> parseMountInfo(const QByteArray &text);

// The volumes of the mount table of this process (/proc/self/mountinfo).
class MountTableVolumes final : public Volumes
{
public:
    explicit MountTableVolumes(const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));

    QStringList roots() const override;
    DriveType driveType(const QString &root) const override;
    bool isReady(const QString &root) const override;
    QString label(const QString &root) const override;
    QString identity(const QString &root) const override;

private:
    void reload() const;
    const MountEntry *find(const QString &root) const;

    QString m_path;
    mutable QHash<QString, MountEntry> m_entries;
    mutable TimedProbes m_remoteProbes;
};

} // namespace vantora
