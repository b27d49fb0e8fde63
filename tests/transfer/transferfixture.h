#pragma once

#include "settings/settingsrecord.h"
#include "testdir.h"
#include "testprompt.h"
#include "tifffile.h"
#include "transfer/memorytransferview.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

// What the transfer tests share: the settings of a plain run and readings of the result.
namespace vantora::test {

// A run as the window makes it: what the run reports is then shown through the prompt.
inline TransferOutcome RunShown(TransferState &state, const QStringList &runList, qint64 targetCount,
                                const ExtensionRows &table, const SettingsRecord &settings,
                                TransferView &view, const QString &sourceFolder = QString(),
                                const RunHistory *history = nullptr)
{
    const FolderSource source(sourceFolder);
    TransferOutcome outcome =
        RunTransfer(state, source, source.filesAt(runList), targetCount, table, settings, view, history);
    for (const RunProblem &problem : outcome.problems)
        prompt().message(ProblemMessage(problem));
    return outcome;
}

// Settings of a plain run: no folder, no renaming, copy, no overwrite, rows given by the test.
inline SettingsRecord plainSettings(const QString &source)
{
    SettingsRecord s;
    s.SourceEditText = source;
    s.DirNameEditText = QStringLiteral("新しいフォルダ");
    s.FileNameEditText = QStringLiteral("[元のファイル名]");
    return s;
}

// The naming of the worked example: a folder per shooting date ("2017.03.05") holding the camera folders,
// and every file renamed "<name>_<running number>" from firstNumber on.
inline void nameByShootingDate(SettingsRecord &s, qint32 firstNumber)
{
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("[YYYYMMDD]");
    s.sDayEditText = QStringLiteral(".");
    s.PANA101Checked = true;
    s.RenameChecked = true;
    s.FileNameEditText = QStringLiteral("[元のファイル名]_[RENBAN]");
    s.FileRenbanSpinEditValue = firstNumber;
}

// The data of a test run once copying and once moving: column "move"; withOverwrite adds a column
// "overwrite" and each of the two once more with overwrite on.
inline void copyAndMoveRows(bool withOverwrite = false)
{
    QTest::addColumn<bool>("move");
    if (!withOverwrite) {
        QTest::newRow("copy") << false;
        QTest::newRow("move") << true;
        return;
    }
    QTest::addColumn<bool>("overwrite");
    for (const bool move : {false, true}) {
        for (const bool overwrite : {false, true}) {
            const QByteArray tag = QByteArray(move ? "move" : "copy") + (overwrite ? ", overwrite" : "");
            QTest::newRow(tag.constData()) << move << overwrite;
        }
    }
}

// What most run tests start from: a temporary folder with an empty destination "out", the settings of a
// plain run from a source folder in it ("src/" unless told), a recording prompt, a view and a state. A
// test unpacks it:
//     TransferRig rig;
//     auto &[dir, prompt, out, s, view, state] = rig;
struct TransferRig
{
    explicit TransferRig(const QString &sourceFolder = QStringLiteral("src/"))
        : settings(plainSettings(dir.filePath(sourceFolder)))
    {
    }

    TestDir dir;
    TestPrompt prompt;
    QString out = dir.createDir(QStringLiteral("out"));
    SettingsRecord settings;
    MemoryTransferView view;
    TransferState state;
};

// Files made in the folder from a pattern with %1 = 1..count, the i-th holding content(i); their paths in
// that order, as a run list.
inline QStringList numberedFiles(TestDir &dir, const QString &pattern, int count,
                                 const std::function<QByteArray(int)> &content)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << dir.createFile(pattern.arg(i), content(i));
    return list;
}

// Every file below the folder, hidden ones too, by its path relative to it, sorted.
inline QStringList filesUnder(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

inline QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The date taken as the exiv2 command reads it; invalid when it cannot.
inline QDate exiv2DateTaken(const QString &path)
{
    QProcess exiv2;
    exiv2.start(QStringLiteral("exiv2"), {QStringLiteral("-g"), QStringLiteral("Exif.Photo.DateTimeOriginal"),
                                          QStringLiteral("-Pv"), path});
    if (!exiv2.waitForFinished(10000))
        return {};
    return QDate::fromString(QString::fromLatin1(exiv2.readAllStandardOutput()).trimmed().left(10),
                             QStringLiteral("yyyy:MM:dd"));
}

// A one-pixel grey TIFF: enough for exiv2 to hold tags in IFD0.
inline QByteArray minimalTiff()
{
    return tiffBytes(1, 1);
}

} // namespace vantora::test
