#pragma once

#include "platform/volumes.h"

#include <QHash>
#include <QList>

namespace vantora {

// Volumes made up by a test: roots are ordinary folders (usually in a temporary folder), each with its
// own type, readiness and label. A removed volume is simply no longer listed.
class FakeVolumes final : public Volumes
{
public:
    struct Volume
    {
        QString root;
        DriveType type = DriveType::Removable;
        bool ready = true;
        QString label;
    };

    explicit FakeVolumes(const QString &systemRoot = QStringLiteral("/"));

    void add(const Volume &volume);
    void remove(const QString &root);
    void setReady(const QString &root, bool ready);
    // Without one, a volume has no identity, as a real volume without a UUID.
    void setIdentity(const QString &root, const QString &identity);

    QStringList roots() const override;
    DriveType driveType(const QString &root) const override;
    bool isReady(const QString &root) const override;
    QString label(const QString &root) const override;
    QString identity(const QString &root) const override;
    QString systemRoot() const override { return m_systemRoot; }

    // How often roots() was asked: a test can tell whether a scan ran.
    mutable int scans = 0;

private:
    const Volume *find(const QString &root) const;

    QString m_systemRoot;
    QList<Volume> m_volumes;
    QHash<QString, QString> m_identities;
};

} // namespace vantora
