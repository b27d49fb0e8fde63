#include "platform/filepath.h"

#include "platform/bytepath.h"
#include "platform/pathtext.h"

namespace vantora {

FilePath FilePath::fromBytes(QByteArrayView bytes)
{
    return FilePath(pathFromBytes(bytes));
}

QByteArray FilePath::bytes() const
{
    return pathToBytes(m_text);
}

QString FilePath::name() const
{
    return m_text.mid(m_text.lastIndexOf(u'/') + 1);
}

QString FilePath::suffix() const
{
    const QString n = name();
    const qsizetype dot = n.lastIndexOf(u'.');
    return dot < 0 ? QString() : n.mid(dot + 1);
}

FilePath FilePath::parent() const
{
    const qsizetype slash = m_text.lastIndexOf(u'/');
    if (slash < 0)
        return FilePath(QStringLiteral("."));
    if (slash == 0)
        return FilePath(QStringLiteral("/"));
    return FilePath(m_text.left(slash));
}

FilePath FilePath::join(const QString &relative) const
{
    return FilePath(withTrailingSlash(m_text) + relative);
}

bool FilePath::isSameOrInside(const FilePath &folder) const
{
    QStringView f(folder.m_text);
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    if (f == u"/")
        return m_text.startsWith(u'/');
    return m_text.startsWith(f) && (m_text.size() == f.size() || m_text.at(f.size()) == u'/');
}

QString folderTextOf(const QString &path)
{
    const QString parent = FilePath(path).parent().text();
    return parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/');
}

} // namespace vantora
