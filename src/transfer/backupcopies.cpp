#include "transfer/backupcopies.h"

#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/filepath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace vantora {

bool BackupFolderUsable(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

BackupCopy NameBackup(CopyOutcome &outcome, const QString &path, bool replace, bool keep)
{
    BackupCopy backup;
    backup.path = path;
    backup.missing = true;
    if (!outcome.alsoUnnamed.isOpen() || outcome.alsoError)
        return backup;
    if (outcome.alsoUnnamed.name(path, replace))
        return backup;
    if (keep)
        backup.kept = outcome.alsoUnnamed.keep();
    else if (outcome.alsoUnnamed.close(path))
        return backup;
    backup.stamp = outcome.alsoCopy;
    backup.missing = false;
    return backup;
}

BackupCopy BackupFromCopy(const QString &copy, const QString &path, const QByteArray &hash, bool keep)
{
    BackupCopy backup;
    backup.path = path;
    backup.missing = true;
    if (hash.isEmpty() || !QDir().mkpath(FilePath(path).parent().text()))
        return backup;
    const ContentCheck there = HashRegularFile(path);
    if (there.error) {
        CopyOptions options;
        options.flush = true;
        options.hash = true;
        CopyOutcome outcome;
        const CopyError code = CopyFileWithProgress(copy, path, {}, nullptr, options, &outcome);
        if (code || outcome.hash != hash) {
            if (!code)
                RemoveFile(path);
            return backup;
        }
    } else if (there.hash != hash) {
        return backup;
    }
    const ContentCheck written = HashFileContent(path, true);
    if (written.error || written.hash != hash)
        return backup;
    if (keep) {
        backup.kept = KeptCopy::open(path);
        if (!backup.kept.isNamedBy(path))
            return backup;
    }
    backup.stamp = written.stamp;
    backup.missing = false;
    return backup;
}

PendingBackups CompletePendingBackups(ImportHistory &history, const QString &volume, const QString &label,
                                      const std::function<void()> &pump)
{
    PendingBackups result;
    QList<QByteArray> &pending = result.pending;
    QList<ImportedFile> done;
    const ImportedFiles files = history.filesOf(volume);
    RunPumped(pump, [&] {
        for (const ImportedFile &f : files) {
            if (!f.backupPending)
                continue;
            const QString copy = pathFromBytes(f.destination);
            const ContentCheck first = HashRegularFile(copy);
            BackupCopy backup;
            if (!first.error && first.hash == f.hash)
                backup = BackupFromCopy(copy, pathFromBytes(f.backup), f.hash, false);
            if (first.error || first.hash != f.hash || backup.missing) {
                pending.append(f.path);
                continue;
            }
            ImportedFile record = f;
            record.backupPending = false;
            done.append(record);
        }
    });
    if (!done.isEmpty() && !history.add(volume, label, done)) {
        for (const ImportedFile &f : std::as_const(done))
            pending.append(f.path);
        return result;
    }
    for (const ImportedFile &f : std::as_const(done))
        result.made.append({pathFromBytes(f.backup), f.hash});
    return result;
}

namespace {

// The name of a line, or empty for a line that is none.
QByteArray nameOfLine(const QByteArray &line)
{
    const qsizetype gap = line.indexOf("  ");
    return gap == 32 ? line.mid(gap + 2) : QByteArray();
}

bool writeManifest(const QString &folder, const QList<CommittedCopy> &copies)
{
    const QString path = FilePath(folder).join(QLatin1String(ManifestFileName)).text();
    QList<QByteArray> lines;
    QHash<QByteArray, qsizetype> lineOf;
    QFile old(path);
    if (old.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : old.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            lineOf.insert(nameOfLine(line), lines.size());
            lines.append(line);
        }
    } else if (old.exists()) {
        return false; // an unreadable list is not replaced
    }
    for (const CommittedCopy &c : copies) {
        const QByteArray name = pathToBytes(FilePath(c.path).name());
        if (name.contains('\n') || name.contains('\\'))
            continue; // a name the checking tool reads only escaped
        const QByteArray line = c.hash.toHex() + "  " + name;
        if (const auto at = lineOf.constFind(name); at != lineOf.cend()) {
            lines[*at] = line;
        } else {
            lineOf.insert(name, lines.size());
            lines.append(line);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray &line : std::as_const(lines))
        file.write(line + '\n');
    return file.commit() && !SyncFileSystems({folder});
}

} // namespace

bool WriteManifests(const QList<CommittedCopy> &copies)
{
    QHash<QString, QList<CommittedCopy>> byFolder;
    QStringList order;
    for (const CommittedCopy &c : copies) {
        const QString folder = FilePath(c.path).parent().text();
        if (!byFolder.contains(folder))
            order.append(folder);
        byFolder[folder].append(c);
    }
    bool ok = true;
    for (const QString &folder : std::as_const(order))
        ok = writeManifest(folder, byFolder.value(folder)) && ok;
    return ok;
}

} // namespace vantora
