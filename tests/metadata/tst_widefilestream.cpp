#include "testdir.h"

#include "metadata/exception.h"
#include "metadata/tkxwidefilestream.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <optional>

using namespace vantora;
using namespace vantora::test;

namespace {

// The open error's message, or nothing when the stream opened.
std::optional<QString> openError(const QString &name, quint16 mode)
{
    try {
        TKxWideFileStream stream(name, mode);
        return std::nullopt;
    } catch (const EFOpenError &e) {
        return e.Message();
    }
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestWideFileStream final : public QObject
{
    Q_OBJECT

private:
    TestDir m_dir;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void longPathPrefix()
    {
        QCOMPARE(LongPathPrefix(), QStringLiteral("\\\\?\\"));
        QCOMPARE(LongPathPrefix().size(), 4);
        const QString path = m_dir.filePath(QStringLiteral("a.jpg"));
        QCOMPARE(WithLongPathPrefix(path), LongPathPrefix() + path);
        QCOMPARE(WithLongPathPrefix(WithLongPathPrefix(path)), LongPathPrefix() + path);
        QCOMPARE(SystemPathOfWideName(WithLongPathPrefix(path)), path);

        const QString file = m_dir.createFile(QStringLiteral("prefixed.bin"), "abc");
        TKxWideFileStream stream(LongPathPrefix() + file, fmOpenRead);
        QCOMPARE(stream.FileName(), LongPathPrefix() + file);
        QCOMPARE(stream.Size(), 3);
        QVERIFY(WideFileExists(LongPathPrefix() + file));
    }

    void relativeNamesAreMadeAbsolute()
    {
        const QString file = m_dir.createFile(QStringLiteral("rel/one.bin"), "1");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.filePath(QStringLiteral("rel"))));
        QCOMPARE(SystemPathOfWideName(QStringLiteral("one.bin")), file);
        QVERIFY(WideFileExists(QStringLiteral("one.bin")));
        const std::optional<QString> error = openError(QStringLiteral("two.bin"), fmOpenRead);
        QDir::setCurrent(before);
        QVERIFY(error);
        QVERIFY2(error->startsWith(
                     QStringLiteral("ファイル \"%1\". ").arg(m_dir.filePath(QStringLiteral("rel/two.bin")))),
                 qPrintable(*error));
        QVERIFY(error->endsWith(QStringLiteral(" は開けません")));
    }

    void existence()
    {
        QVERIFY(IsWideApiSystem());
        QVERIFY(UseWideApi);
        QVERIFY(WideFileExists(m_dir.createFile(QStringLiteral("写真/ファイル.jpg"), "x")));
        QVERIFY(!WideFileExists(m_dir.filePath(QStringLiteral("写真"))));
        QVERIFY(!WideFileExists(m_dir.filePath(QStringLiteral("missing.jpg"))));
        QVERIFY(!WideFileExists(QString()));
        TKxWideFileStream stream(m_dir.filePath(QStringLiteral("写真/ファイル.jpg")), fmOpenRead);
        char c = 0;
        stream.ReadBuffer(&c, 1);
        QCOMPARE(c, 'x');
    }

    void refusedModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("opens");
        QTest::newRow("read, deny none 0x0040") << 0x0040 << true;
        QTest::newRow("read write, deny write 0x0022") << 0x0022 << true;
        QTest::newRow("sharing 5 0x0050 refused") << 0x0050 << false;
        QTest::newRow("sharing 15 0x00F0 refused") << 0x00F0 << false;
        QTest::newRow("access 3 refused") << 0x0003 << false;
    }
    void refusedModes()
    {
        QFETCH(int, mode);
        QFETCH(bool, opens);
        const QString file = m_dir.createFile(QStringLiteral("modes.bin"), "data");
        int error = 0;
        const int handle = OpenFileByWideName(file, quint16(mode), error);
        QCOMPARE(handle >= 0, opens);
        if (handle >= 0) {
            TKxWideFileStream adopt(file, fmOpenRead | fmShareDenyNone); // shares with the handle above
            QCOMPARE(adopt.Size(), 4);
            QCOMPARE(THandleStream(handle).Size(), 4);
            QFile closer;
            QVERIFY(closer.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        } else {
            QCOMPARE(handle, INVALID_HANDLE_VALUE);
            const std::optional<QString> message = openError(file, quint16(mode));
            QVERIFY(message);
            QCOMPARE(*message,
                     QStringLiteral("ファイル \"%1\". %2 は開けません").arg(file, qt_error_string(EINVAL)));
        }
        QCOMPARE(contentOf(file), QByteArray("data"));
    }

    void sharing_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("secondOpens");
        QTest::newRow("no sharing, then read") << 0x0000 << 0x0000 << false;
        QTest::newRow("exclusive, then deny none") << 0x0010 << 0x0040 << false;
        QTest::newRow("deny none, then no sharing") << 0x0040 << 0x0000 << false;
        QTest::newRow("deny none twice") << 0x0040 << 0x0040 << true;
        QTest::newRow("deny write, then deny none") << 0x0020 << 0x0040 << true;
        QTest::newRow("deny read, then deny none") << 0x0030 << 0x0040 << false;
        QTest::newRow("read write deny none, then create") << 0x0042 << 0xFFFF << false;
    }
    void sharing()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(bool, secondOpens);
        const QString file = m_dir.createFile(QStringLiteral("shared.bin"), "keep me");
        {
            TKxWideFileStream holder(file, quint16(first));
            const std::optional<QString> error = openError(file, quint16(second));
            QCOMPARE(!error.has_value(), secondOpens);
            if (error)
                QCOMPARE(
                    *error,
                    QStringLiteral("ファイル \"%1\". %2 は開けません").arg(file, qt_error_string(EBUSY)));
        }
        // a refused create leaves the content alone
        QCOMPARE(contentOf(file), QByteArray("keep me"));
        // once the holder is gone, the file opens again
        QVERIFY(!openError(file, quint16(second)));
    }

    void createAndWrite()
    {
        const QString file = m_dir.filePath(QStringLiteral("new/created.bin"));
        QVERIFY(openError(file, fmCreate)); // the folder does not exist
        QDir().mkpath(m_dir.filePath(QStringLiteral("new")));
        {
            TKxWideFileStream stream(file, fmCreate);
            stream.WriteBuffer("hello", 5);
            QCOMPARE(stream.Position(), 5);
            stream.SetPosition(1);
            char buf[4];
            stream.ReadBuffer(buf, 4);
            QCOMPARE(QByteArray(buf, 4), QByteArray("ello"));
        }
        QCOMPARE(contentOf(file), QByteArray("hello"));
        {
            TKxWideFileStream again(file, fmCreate); // empties an existing file
            QCOMPARE(again.Size(), 0);
        }
        QCOMPARE(contentOf(file), QByteArray());
        {
            TKxWideFileStream writer(file, fmOpenWrite);
            writer.WriteBuffer("ab", 2);
            QVERIFY_THROWS_EXCEPTION(EReadError, [&] {
                char c;
                writer.SetPosition(0);
                writer.ReadBuffer(&c, 1); // opened for writing only
            }());
        }
        QCOMPARE(contentOf(file), QByteArray("ab"));
        const int handle = CreateFileByWideName(m_dir.filePath(QStringLiteral("new/by-handle.bin")));
        QVERIFY(handle >= 0);
        QFile closer;
        QVERIFY(closer.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    }

    void readsAndSeeks()
    {
        const QString file = m_dir.createFile(QStringLiteral("seek.bin"), "0123456789");
        TKxWideFileStream stream(file, fmOpenRead);
        QCOMPARE(stream.Seek(-3, TSeekOrigin::soEnd), 7);
        char buf[8];
        QCOMPARE(stream.Read(buf, 8), 3);
        QCOMPARE(stream.Seek(20, TSeekOrigin::soBeginning), 20); // past the end is allowed
        QCOMPARE(stream.Read(buf, 1), 0);
        QVERIFY_THROWS_EXCEPTION(EReadError, stream.ReadBuffer(buf, 1));
        QVERIFY_THROWS_EXCEPTION(EReadError, stream.Seek(-30, TSeekOrigin::soCurrent));
        QCOMPARE(stream.Position(), 20);
        stream.SetPosition(2);
        QVERIFY_THROWS_EXCEPTION(EReadError, stream.ReadBytes(9)); // more than is left: nothing allocated
        QCOMPARE(stream.ReadBytes(8), QByteArray("23456789"));
    }

    void foldersAndSpecialFilesDoNotOpen()
    {
        const QString folder = m_dir.createDir(QStringLiteral("a folder"));
        const std::optional<QString> error = openError(folder, fmOpenRead);
        QVERIFY(error);
        QVERIFY(error->contains(qt_error_string(EISDIR)));
        QVERIFY(openError(QStringLiteral("/dev/null"), fmOpenRead));
        QVERIFY(openError(QString(), fmOpenRead));
    }
};

QTEST_GUILESS_MAIN(TestWideFileStream)
#include "tst_widefilestream.moc"
