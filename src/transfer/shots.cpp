#include "transfer/shots.h"

#include "platform/filepath.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace vantora {

namespace {

QString extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1).toUpper();
}

// Which of a shot's files gives its date and comes first: pictures, then videos, then the rest.
int rankOf(const QString &fileName)
{
    static const QSet<QString> videos{QStringLiteral("MOV"), QStringLiteral("MP4"),  QStringLiteral("M4V"),
                                      QStringLiteral("MTS"), QStringLiteral("M2TS"), QStringLiteral("AVI"),
                                      QStringLiteral("3GP"), QStringLiteral("MPG"),  QStringLiteral("MKV")};
    if (IsSidecarName(fileName))
        return 3;
    const QString ext = extensionOf(fileName);
    if (videos.contains(ext))
        return 1;
    static const QSet<QString> others{QStringLiteral("TXT"), QStringLiteral("CTG"), QStringLiteral("DAT")};
    return others.contains(ext) ? 2 : 0;
}

// The text before the name, its "/" kept: the files of one folder share it exactly, so it joins back with
// a name the folder lists into the very text the walk gave for that file.
QString folderOf(const QString &path)
{
    return path.chopped(FilePath(path).name().size());
}

// The shot a file belongs to: its folder and its name up to the first dot, case-folded.
QString shotKey(const QString &folder, const QString &fileName)
{
    return folder + fileName.left(fileName.indexOf(QLatin1Char('.'))).toCaseFolded();
}

} // namespace

bool IsSidecarName(const QString &fileName)
{
    static const QSet<QString> sidecars{QStringLiteral("XMP"), QStringLiteral("THM"), QStringLiteral("LRV"),
                                        QStringLiteral("WAV"), QStringLiteral("AAE")};
    return sidecars.contains(extensionOf(fileName));
}

QList<Shot> GroupShots(const QStringList &runList,
                       const std::function<QStringList(const QString &folder)> &folderFiles)
{
    QList<Shot> shots;
    QHash<QString, qsizetype> byKey;
    QSet<QString> listed;
    for (const QString &file : runList) {
        if (listed.contains(file))
            continue;
        listed.insert(file);
        const QString key = shotKey(folderOf(file), FilePath(file).name());
        auto it = byKey.constFind(key);
        if (it == byKey.cend()) {
            it = byKey.insert(key, shots.size());
            shots.append(Shot{});
        }
        shots[*it].files.append(file);
    }
    for (Shot &shot : shots) {
        std::stable_sort(shot.files.begin(), shot.files.end(), [](const QString &a, const QString &b) {
            return rankOf(FilePath(a).name()) < rankOf(FilePath(b).name());
        });
    }
    if (!folderFiles)
        return shots;
    QSet<QString> folders;
    for (const QString &file : std::as_const(listed))
        folders.insert(folderOf(file));
    for (const QString &folder : std::as_const(folders)) {
        const QStringList names = folderFiles(folder);
        for (const QString &name : names) {
            const QString path = folder + name;
            if (!IsSidecarName(name) || listed.contains(path))
                continue;
            if (const auto it = byKey.constFind(shotKey(folder, name)); it != byKey.cend())
                shots[*it].sidecars.append(path);
        }
    }
    for (Shot &shot : shots)
        shot.sidecars.sort();
    return shots;
}

} // namespace vantora
