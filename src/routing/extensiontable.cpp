#include "routing/extensiontable.h"

#include "platform/filepath.h"
#include "routing/extensioncatalogue.h"

namespace vantora {

namespace {

bool allFilesRows(const ExtensionRows &rows)
{
    return rows.size() == 1 && rows.front().key == QLatin1String(AllFilesKey);
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
        const QString name = FilePath(fileName).name();
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

} // namespace vantora
