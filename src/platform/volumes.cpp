#include "platform/volumes.h"

#include "platform/filepath.h"

namespace vantora {

QString Volumes::identity(const QString &) const
{
    return QString();
}

QString Volumes::rootOf(const QString &path) const
{
    const FilePath p(path);
    QString best;
    for (const QString &root : roots()) {
        if (root.size() > best.size() && p.isSameOrInside(FilePath(root)))
            best = root;
    }
    return best;
}

} // namespace vantora
