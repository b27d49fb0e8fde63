#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace vantora {

enum class RegistryRoot
{
    CurrentUser,
    ClassesRoot,
    LocalMachine
};

enum class RegistryError
{
    None,
    KeyNotFound,
    ValueNotFound,
    TypeMismatch, // the value exists with the other type
    WriteFailed,
};

// A per-user stand-in for the system registry: typed values (text and 32-bit number) in keys, one
// file per root in the text format of a registry export. Key and value names are matched without
// regard to case and keep the spelling they were created with. Every change is written at once and
// atomically, unless a batch is open; a file that cannot be parsed is moved aside, never overwritten.
class RegistryStore final
{
public:
    // The folder holding the files: $XDG_CONFIG_HOME/vantora/registry unless given.
    explicit RegistryStore(const QString &directory = QString());

    static QString defaultDirectory();
    static QString rootName(RegistryRoot root);
    QString filePath(RegistryRoot root) const;
    QString directory() const { return m_directory; }

    bool keyExists(RegistryRoot root, const QString &key);
    // Opens or creates the key (and its parents); false when the change cannot be written.
    bool createKey(RegistryRoot root, const QString &key);

    std::optional<QString> readString(RegistryRoot root, const QString &key, const QString &name,
                                      RegistryError *error = nullptr);
    std::optional<quint32> readDword(RegistryRoot root, const QString &key, const QString &name,
                                     RegistryError *error = nullptr);
    // The key's default value is the value with an empty name.
    bool writeString(RegistryRoot root, const QString &key, const QString &name, const QString &value);
    bool writeDword(RegistryRoot root, const QString &key, const QString &name, quint32 value);
    // False when the value or key did not exist (nothing changed) or the change cannot be written.
    bool deleteValue(RegistryRoot root, const QString &key, const QString &name);
    bool deleteKeyTree(RegistryRoot root, const QString &key);

    QStringList valueNames(RegistryRoot root, const QString &key);

    // Between beginBatch and endBatch the changes of a root stay in memory; endBatch writes them once.
    void beginBatch(RegistryRoot root);
    bool endBatch(RegistryRoot root);

    // Messages about files that could not be read and were moved aside; each is handed out once.
    QStringList takeNotices();

private:
    struct Value
    {
        QString name;
        bool isString = true;
        QString text;
        quint32 number = 0;
    };
    struct Key
    {
        QString path; // as first spelled, without the root name
        QVector<Value> values;
    };
    struct Hive
    {
        bool loaded = false;
        bool writable = true; // false when an unreadable file could not be moved aside
        int batchDepth = 0;
        bool dirty = false;
        QVector<Key> keys;
    };

    Hive &hive(RegistryRoot root);
    void load(RegistryRoot root, Hive &h);
    bool parse(const QByteArray &data, RegistryRoot root, QVector<Key> &keys) const;
    QByteArray serialize(RegistryRoot root, const Hive &h) const;
    bool commit(RegistryRoot root, Hive &h);
    Key *findKey(Hive &h, const QString &key);
    Key &ensureKey(Hive &h, const QString &key);
    static Value *findValue(Key &k, const QString &name);
    // The value of that name, or nothing with the reason in *error (a value of the other type mismatches).
    const Value *lookUp(RegistryRoot root, const QString &key, const QString &name, bool wantString,
                        RegistryError *error);
    static QString normalizeKey(const QString &key);

    QString m_directory;
    QHash<int, Hive> m_hives;
    QStringList m_notices;
};

} // namespace vantora
