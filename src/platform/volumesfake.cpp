#include "platform/volumesfake.h"

#include <algorithm>

namespace vantora {

namespace {

QString trimmed(QString root)
{
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    return root;
}

} // namespace

FakeVolumes::FakeVolumes(const QString &systemRoot) : m_systemRoot(trimmed(systemRoot))
{
    add({m_systemRoot, DriveType::Fixed, true, QString()});
}

void FakeVolumes::add(const Volume &volume)
{
    Volume v = volume;
    v.root = trimmed(v.root);
    remove(v.root);
    m_volumes.append(v);
}

void FakeVolumes::remove(const QString &root)
{
    const QString r = trimmed(root);
    m_volumes.removeIf([&](const Volume &v) { return v.root == r; });
}

void FakeVolumes::setReady(const QString &root, bool ready)
{
    const QString r = trimmed(root);
    for (Volume &v : m_volumes) {
        if (v.root == r)
            v.ready = ready;
    }
}

void FakeVolumes::setIdentity(const QString &root, const QString &identity)
{
    m_identities.insert(trimmed(root), identity);
}

const FakeVolumes::Volume *FakeVolumes::find(const QString &root) const
{
    const QString r = trimmed(root);
    for (const Volume &v : m_volumes) {
        if (v.root == r)
            return &v;
    }
    return nullptr;
}

QString FakeVolumes::identity(const QString &root) const
{
    if (!find(root))
        return QString();
    return m_identities.value(trimmed(root));
}

QStringList FakeVolumes::roots() const
{
    ++scans;
    QStringList out;
    for (const Volume &v : m_volumes)
        out.append(v.root);
    std::sort(out.begin(), out.end());
    return out;
}

DriveType FakeVolumes::driveType(const QString &root) const
{
    const Volume *v = find(root);
    return v ? v->type : DriveType::NoRootDir;
}

bool FakeVolumes::isReady(const QString &root) const
{
    const Volume *v = find(root);
    return v && v->ready;
}

QString FakeVolumes::label(const QString &root) const
{
    const Volume *v = find(root);
    return v ? v->label : QString();
}

} // namespace vantora
