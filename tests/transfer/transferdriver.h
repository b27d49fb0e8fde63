#pragma once

#include "sandbox.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

// What the tests that start and kill the window-less transfer program (bench/driver) share.
namespace vantora::test {

struct TransferDriver
{
    QString path;
    QString namespaceError; // why this test program has no private mount namespace; empty when it has

    // Finds the program and enters a private mount namespace; false when the program is not built.
    bool prepare()
    {
        path = QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) +
               QStringLiteral("/bench/driver/vantora-transfer");
        namespaceError = enterPrivateMountNamespace();
        return QFileInfo(path).isExecutable();
    }
};

// A settings file for the program in folder: one row sending the files `mask` matches from source to dest.
inline QString writeDriverSettings(const QString &folder, const QString &source, const QString &dest,
                                   bool move, const QString &mask)
{
    const QString path = folder + QStringLiteral("/settings.txt");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QStringLiteral("SourceEditText=%1/\nDelChecked=%3\nRow=%4|%2\n")
                .arg(source, dest, move ? QStringLiteral("1") : QStringLiteral("0"), mask)
                .toUtf8());
    return path;
}

} // namespace vantora::test
