#include "platform/volumes.h"

namespace vantora {

bool isPathUnder(const QString &path, const QString &root)
{
    QString r = root;
    while (r.size() > 1 && r.endsWith(u'/'))
        r.chop(1);
    if (r == QLatin1String("/"))
        return path.startsWith(u'/');
    if (!path.startsWith(r))
        return false;
    return path.size() == r.size() || path.at(r.size()) == u'/';
}

QString Volumes::identity(const QString &) const
{
    return QString();
}

QString Volumes::rootOf(const QString &path) const
{
    QString best;
    for (const QString &root : roots()) {
        if (root.size() > best.size() && isPathUnder(path, root))
            best = root;
    }
    return best;
}

} // namespace vantora
