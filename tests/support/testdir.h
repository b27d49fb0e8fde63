#pragma once

#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

namespace vantora::test {

// A temporary folder with helpers to make files and folders in it; removed at the end of its scope.
class TestDir final
{
public:
    TestDir();

    QString path() const { return m_dir.path(); }
    // Path of a name inside the folder.
    QString filePath(const QString &relative) const { return m_dir.filePath(relative); }
    // Makes the file (and its folders) with the given content; returns its full path.
    QString createFile(const QString &relative, const QByteArray &content = QByteArray("x"));
    QString createDir(const QString &relative);

private:
    QTemporaryDir m_dir;
};

// The source tree and the shared test data folder (camera JPEGs).
QString sourceDir();
QString sharedTestData(const QString &relative);

// Points the user's special folders and config at fresh temporary folders for this process.
void isolateHome(const QString &root);

// A fresh home (see isolateHome) for the whole test program, Qt's own paths in test mode: a member of the
// test object, so it is in place before the first test and removed after the last.
struct IsolatedHome
{
    IsolatedHome();
    TestDir dir;
};

// Every file below a folder with its content, by relative path.
QMap<QString, QByteArray> filesBelow(const QString &folder,
                                     QDir::Filters filter = QDir::Files | QDir::Hidden);

} // namespace vantora::test
