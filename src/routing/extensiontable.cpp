#include "routing/extensiontable.h"

#include "routing/extensioncatalogue.h"

#include <QRegularExpression>

namespace vantora {

namespace {

QString fileNameOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

bool allFilesRows(const ExtensionRows &rows)
{
    return rows.size() == 1 && rows.front().key == QLatin1String(AllFilesKey);
}

// A row key as a file mask: "*" any run of characters, "?" one character. "*.*" takes every file,
// a name without a dot included.
bool maskMatches(const QString &mask, const QString &name)
{
    if (mask == QLatin1String(AllFilesKey))
        return true;
    // Only "*" and "?" are special in a mask; everything else stands for itself.
    QString pattern;
    for (const QChar c : mask) {
        if (c == QLatin1Char('*'))
            pattern += QLatin1String(".*");
        else if (c == QLatin1Char('?'))
            pattern += QLatin1Char('.');
        else
            pattern += QRegularExpression::escape(QString(c));
    }
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                QRegularExpression::CaseInsensitiveOption |
                                    QRegularExpression::DotMatchesEverythingOption);
    return re.match(name).hasMatch();
}

} // namespace

int FindExtensionRow(const ExtensionRows &rows, const QString &key)
{
    for (int r = 0; r < rows.size(); ++r) {
        if (rows.at(r).key.compare(key, Qt::CaseInsensitive) == 0)
            return r;
    }
    return -1;
}

QString LookupExtensionDestination(const ExtensionRows &rows, const QString &fileName, bool allFilesMode)
{
    QString key;
    if (allFilesMode) {
        key = QLatin1String(AllFilesKey);
    } else {
        const QString name = fileNameOf(fileName);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        key = QLatin1Char('*') + (dot < 0 ? QString() : name.mid(dot));
    }
    const int r = FindExtensionRow(rows, key);
    return r < 0 ? QString() : rows.at(r).folder;
}

QString LookupExtensionDestination(const ExtensionRows &rows, const QString &fileName)
{
    return LookupExtensionDestination(rows, fileName, allFilesRows(rows));
}

QString LookupMaskDestination(const ExtensionRows &rows, const QString &fileName)
{
    const QString name = fileNameOf(fileName);
    for (const ExtensionRow &row : rows) {
        if (maskMatches(row.key, name))
            return row.folder;
    }
    return QString();
}

} // namespace vantora
