#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vantora {

// A path as exact bytes, held as the text bytepath.h maps them to (escaped bytes stay escaped), so that
// taking it apart never re-encodes a name. A "/" never occurs inside a UTF-8 sequence or an escaped byte,
// so cutting the text at a "/" cuts the bytes at the same place.
//
// The path is taken as it is written: nothing is cleaned up, "." and ".." are names like any other and
// links are not followed. name() and parent() cut at the last "/" of the text.
class FilePath final
{
public:
    FilePath() = default;
    explicit FilePath(const QString &text) : m_text(text) {}
    static FilePath fromBytes(QByteArrayView bytes);

    const QString &text() const { return m_text; }
    QByteArray bytes() const;
    bool isEmpty() const { return m_text.isEmpty(); }
    bool isRoot() const { return m_text == QLatin1String("/"); }

    // The text after the last "/": empty when the path ends with "/", the whole path when it has none.
    QString name() const;
    // What follows the last "." of the name ("gz" of "a.tar.gz", "hidden" of ".hidden"), or empty.
    QString suffix() const;
    // The text before the last "/": "/" when that is the first character, "." when the path has none.
    FilePath parent() const;
    // The path of a name (or a relative path) inside this folder, with one "/" between unless this
    // already ends with one; an empty path gives the name as it is.
    FilePath join(const QString &relative) const;

    // True when this is folder itself or lies below it, name by name: "/a/bc" is not inside "/a/b". The
    // folder's trailing "/"s do not count, so "/" holds every absolute path; an empty folder holds the
    // empty path and, as "/" with its "/" removed, every absolute path.
    bool isSameOrInside(const FilePath &folder) const;

    friend bool operator==(const FilePath &, const FilePath &) = default;

private:
    QString m_text;
};

// The folder holding a file, as text ending in "/" ("/a/b.jpg" -> "/a/", "/b.jpg" -> "/").
QString folderTextOf(const QString &path);

} // namespace vantora
