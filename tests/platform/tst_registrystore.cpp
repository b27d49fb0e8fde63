#include "platform/registrystore.h"
#include "testdir.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace vantora;

namespace {

struct StringValue
{
    const char *key;
    const char *name;
    const char *value;
};

// Set-up writes under one root; the tests read back what they rely on.
void writeStrings(RegistryStore &store, RegistryRoot root, std::initializer_list<StringValue> values)
{
    for (const StringValue &v : values) {
        store.writeString(root, QString::fromUtf8(v.key), QString::fromUtf8(v.name),
                          QString::fromUtf8(v.value));
    }
}

} // namespace

class TestRegistryStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typedValuesRoundTripThroughTheFile();
    void missingValueAndWrongTypeAreDistinct();
    void namesIgnoreCaseAndKeepSpelling();
    void deleteValueAndKeyTree();
    void fileIsARegistryExport();
    void unreadableFileIsMovedAsideNeverOverwritten();
    void batchWritesOnce();
};

void TestRegistryStore::typedValuesRoundTripThroughTheFile()
{
    test::TestDir dir;
    const QString key = QStringLiteral("Software\\Q.Lintar\\Vantix");
    const QString awkward = QStringLiteral("C:\\写真\\\"quoted\" [x] = ;\r\nnext");
    {
        RegistryStore store(dir.path());
        QVERIFY(!store.keyExists(RegistryRoot::CurrentUser, key));
        QVERIFY(store.createKey(RegistryRoot::CurrentUser, key));
        QVERIFY(store.writeString(RegistryRoot::CurrentUser, key, QStringLiteral("Text"), awkward));
        QVERIFY(store.writeDword(RegistryRoot::CurrentUser, key, QStringLiteral("Number"), 0xFFFFFFFFu));
        QVERIFY(store.writeString(RegistryRoot::CurrentUser, key, QString(), QStringLiteral("default")));
        QVERIFY(store.writeString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell"),
                                  QStringLiteral("a"), QStringLiteral("b")));
    }
    RegistryStore again(dir.path());
    QVERIFY(again.keyExists(RegistryRoot::CurrentUser, key));
    QVERIFY(again.keyExists(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar")));
    QCOMPARE(again.readString(RegistryRoot::CurrentUser, key, QStringLiteral("Text")).value(), awkward);
    QCOMPARE(again.readDword(RegistryRoot::CurrentUser, key, QStringLiteral("Number")).value(), 0xFFFFFFFFu);
    QCOMPARE(again.readString(RegistryRoot::CurrentUser, key, QString()).value(), QStringLiteral("default"));
    QCOMPARE(
        again.readString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell"), QStringLiteral("a"))
            .value(),
        QStringLiteral("b"));
    QVERIFY(!again.keyExists(RegistryRoot::LocalMachine, QStringLiteral("Vantora")));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("HKEY_CLASSES_ROOT.reg"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("HKEY_LOCAL_MACHINE.reg"))));
}

void TestRegistryStore::missingValueAndWrongTypeAreDistinct()
{
    test::TestDir dir;
    RegistryStore store(dir.path());
    RegistryError error = RegistryError::None;
    QVERIFY(!store.readString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("v"), &error));
    QCOMPARE(error, RegistryError::KeyNotFound);
    store.writeDword(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("n"), 10);
    store.writeString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("s"),
                      QStringLiteral("10"));
    QVERIFY(!store.readString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("v"), &error));
    QCOMPARE(error, RegistryError::ValueNotFound);
    QVERIFY(!store.readString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("n"), &error));
    QCOMPARE(error, RegistryError::TypeMismatch);
    QVERIFY(!store.readDword(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("s"), &error));
    QCOMPARE(error, RegistryError::TypeMismatch);
    QCOMPARE(
        store.readDword(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("n"), &error).value(),
        10u);
    QCOMPARE(error, RegistryError::None);
    // A write of the other type replaces the value and its type.
    store.writeString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("n"),
                      QStringLiteral("t"));
    QCOMPARE(store.readString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("n")).value(),
             QStringLiteral("t"));
}

void TestRegistryStore::namesIgnoreCaseAndKeepSpelling()
{
    test::TestDir dir;
    RegistryStore store(dir.path());
    writeStrings(store, RegistryRoot::CurrentUser,
                 {{"Software\\Vantix", "JPGDir", "a"}, {"SOFTWARE\\vantix", "jpgdir", "b"}});
    QCOMPARE(store.valueNames(RegistryRoot::CurrentUser, QStringLiteral("software\\VANTIX")),
             QStringList{QStringLiteral("JPGDir")});
    QCOMPARE(store
                 .readString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Vantix"),
                             QStringLiteral("JpgDir"))
                 .value(),
             QStringLiteral("b"));
}

void TestRegistryStore::deleteValueAndKeyTree()
{
    test::TestDir dir;
    RegistryStore store(dir.path());
    writeStrings(store, RegistryRoot::ClassesRoot,
                 {{"A\\B\\C", "x", "1"}, {"A\\B", "y", "2"}, {"AB", "z", "3"}});
    QVERIFY(store.deleteValue(RegistryRoot::ClassesRoot, QStringLiteral("A\\B"), QStringLiteral("y")));
    QVERIFY(!store.deleteValue(RegistryRoot::ClassesRoot, QStringLiteral("A\\B"), QStringLiteral("y")));
    QVERIFY(store.deleteKeyTree(RegistryRoot::ClassesRoot, QStringLiteral("A\\B")));
    QVERIFY(!store.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("A\\B\\C")));
    QVERIFY(!store.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("A\\B")));
    QVERIFY(store.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("A")));
    QVERIFY(store.keyExists(RegistryRoot::ClassesRoot,
                            QStringLiteral("AB"))); // a sibling with the same prefix stays
    QVERIFY(!store.deleteKeyTree(RegistryRoot::ClassesRoot, QStringLiteral("A\\B")));
    RegistryStore again(dir.path());
    QVERIFY(!again.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("A\\B\\C")));
    QVERIFY(again.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("AB")));
}

void TestRegistryStore::fileIsARegistryExport()
{
    test::TestDir dir;
    RegistryStore store(dir.path());
    store.writeString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar\\Vantix"),
                      QStringLiteral("SourceEditText"), QStringLiteral("/media/a\\b"));
    store.writeDword(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar\\Vantix"),
                     QStringLiteral("DelChecked"), 10);
    store.writeString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar\\Vantix"), QString(),
                      QStringLiteral("d"));
    QFile f(store.filePath(RegistryRoot::CurrentUser));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(text.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\r\n")));
    QVERIFY(text.contains(QStringLiteral("[HKEY_CURRENT_USER\\Software\\Q.Lintar\\Vantix]\r\n")));
    QVERIFY(text.contains(QStringLiteral("\"SourceEditText\"=\"/media/a\\\\b\"\r\n")));
    QVERIFY(text.contains(QStringLiteral("\"DelChecked\"=dword:0000000a\r\n")));
    QVERIFY(text.contains(QStringLiteral("@=\"d\"\r\n")));
}

void TestRegistryStore::unreadableFileIsMovedAsideNeverOverwritten()
{
    test::TestDir dir;
    const QByteArray garbage("this is not a registry file\n\x01\x02");
    const QString path = dir.createFile(QStringLiteral("HKEY_CURRENT_USER.reg"), garbage);
    RegistryStore store(dir.path());
    QVERIFY(!store.keyExists(RegistryRoot::CurrentUser, QStringLiteral("Software")));
    const QStringList notices = store.takeNotices();
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().contains(path));
    QVERIFY(store.takeNotices().isEmpty());
    const QStringList aside =
        QDir(dir.path()).entryList({QStringLiteral("HKEY_CURRENT_USER.reg.unreadable-*")});
    QCOMPARE(aside.size(), 1);
    QVERIFY(notices.first().contains(aside.first()));
    QFile kept(dir.filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), garbage);
    // A new file may now be written in its place.
    QVERIFY(store.writeDword(RegistryRoot::CurrentUser, QStringLiteral("Software"), QStringLiteral("x"), 1));
    QCOMPARE(RegistryStore(dir.path())
                 .readDword(RegistryRoot::CurrentUser, QStringLiteral("Software"), QStringLiteral("x"))
                 .value(),
             1u);

    // Broken in subtler ways: a dword that is not 8 hex digits, a value before any key, an unclosed text.
    for (const QByteArray &bad :
         {QByteArray("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S]\n\"a\"=dword:1\n"),
          QByteArray("Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n"),
          QByteArray("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S]\n\"a\"=\"b\n"),
          QByteArray("[HKEY_CURRENT_USER\\S]\n")}) {
        test::TestDir d;
        d.createFile(QStringLiteral("HKEY_CURRENT_USER.reg"), bad);
        RegistryStore s(d.path());
        QVERIFY(!s.keyExists(RegistryRoot::CurrentUser, QStringLiteral("S")));
        QCOMPARE(s.takeNotices().size(), 1);
    }
}

void TestRegistryStore::batchWritesOnce()
{
    test::TestDir dir;
    RegistryStore store(dir.path());
    store.beginBatch(RegistryRoot::CurrentUser);
    store.writeDword(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("a"), 1);
    store.writeString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("b"),
                      QStringLiteral("x"));
    store.writeDword(RegistryRoot::CurrentUser, QStringLiteral("L"), QStringLiteral("c"), 3);
    QVERIFY(!QFile::exists(store.filePath(RegistryRoot::CurrentUser)));
    QVERIFY(store.endBatch(RegistryRoot::CurrentUser));
    // Everything written in the batch is in the one file written at its end.
    RegistryStore reread(dir.path());
    QCOMPARE(
        reread.readDword(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("a")).value_or(0),
        1u);
    QCOMPARE(reread.readString(RegistryRoot::CurrentUser, QStringLiteral("K"), QStringLiteral("b"))
                 .value_or(QString()),
             QStringLiteral("x"));
    QCOMPARE(
        reread.readDword(RegistryRoot::CurrentUser, QStringLiteral("L"), QStringLiteral("c")).value_or(0),
        3u);
}

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "tst_registrystore.moc"
