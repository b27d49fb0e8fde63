#include "platform/registrystore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace vantora {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";

QString escapeText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('"'))
            out += QLatin1String("\\\"");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

// Reads a quoted text starting at pos (on the opening quote); pos ends behind the closing quote.
std::optional<QString> readQuoted(const QString &line, qsizetype &pos)
{
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line.at(pos);
        if (c == QLatin1Char('"')) {
            ++pos;
            return out;
        }
        if (c == QLatin1Char('\\')) {
            if (++pos >= line.size())
                return std::nullopt;
            const QChar e = line.at(pos);
            if (e == QLatin1Char('n'))
                out += QLatin1Char('\n');
            else if (e == QLatin1Char('r'))
                out += QLatin1Char('\r');
            else if (e == QLatin1Char('\\') || e == QLatin1Char('"'))
                out += e;
            else
                return std::nullopt;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

} // namespace

RegistryStore::RegistryStore(const QString &directory)
    : m_directory(directory.isEmpty() ? defaultDirectory() : directory)
{
}

QString RegistryStore::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/vantora/registry");
}

QString RegistryStore::rootName(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case RegistryRoot::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case RegistryRoot::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    }
    return QString();
}

QString RegistryStore::filePath(RegistryRoot root) const
{
    return m_directory + QLatin1Char('/') + rootName(root) + QLatin1String(".reg");
}

QString RegistryStore::normalizeKey(const QString &key)
{
    QString k = key;
    k.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    return k;
}

RegistryStore::Hive &RegistryStore::hive(RegistryRoot root)
{
    Hive &h = m_hives[int(root)];
    if (!h.loaded)
        load(root, h);
    return h;
}

void RegistryStore::load(RegistryRoot root, Hive &h)
{
    h.loaded = true;
    const QString path = filePath(root);
    QFile file(path);
    if (!file.exists())
        return;
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.readAll();
    if (file.error() == QFileDevice::NoError && parse(data, root, h.keys))
        return;

    // Keep what the user had: move the file aside before anything new is written in its place.
    h.keys.clear();
    file.close();
    const QString aside = path + QLatin1String(".unreadable-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::rename(path, aside)) {
        m_notices << QStringLiteral(
                         "設定ファイル %1 を読み込めませんでした.\r\n%2 に移し、既定の設定で起動します.")
                         .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside));
    } else {
        h.writable = false;
        m_notices << QStringLiteral("設定ファイル %1 を読み込めませんでした.\r\n既定の設定で起動します. "
                                    "このファイルは変更しません.")
                         .arg(QDir::toNativeSeparators(path));
    }
}

bool RegistryStore::parse(const QByteArray &data, RegistryRoot root, QVector<Key> &keys) const
{
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QString prefix = rootName(root);
    bool headerSeen = false;
    Key *current = nullptr;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (!headerSeen) {
            if (line.trimmed() != QLatin1String(kHeader))
                return false;
            headerSeen = true;
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return false;
            QString path = line.mid(1, line.size() - 2);
            if (path.compare(prefix, Qt::CaseInsensitive) == 0)
                path.clear();
            else if (path.startsWith(prefix + QLatin1Char('\\'), Qt::CaseInsensitive))
                path = path.mid(prefix.size() + 1);
            else
                return false;
            path = normalizeKey(path);
            auto it = std::find_if(keys.begin(), keys.end(), [&](const Key &k) {
                return k.path.compare(path, Qt::CaseInsensitive) == 0;
            });
            if (it == keys.end()) {
                keys.append(Key{path, {}});
                current = &keys.last();
            } else {
                current = &*it;
            }
            continue;
        }
        if (!current)
            return false;
        Value v;
        qsizetype pos = 0;
        if (line.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else {
            auto name = readQuoted(line, pos);
            if (!name)
                return false;
            v.name = *name;
        }
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            return false;
        ++pos;
        if (line.mid(pos).startsWith(QLatin1String("dword:"))) {
            const QString hex = line.mid(pos + 6).trimmed();
            bool ok = false;
            const quint32 n = hex.toUInt(&ok, 16);
            if (!ok || hex.size() != 8)
                return false;
            v.isString = false;
            v.number = n;
        } else {
            auto value = readQuoted(line, pos);
            if (!value || !line.mid(pos).trimmed().isEmpty())
                return false;
            v.text = *value;
        }
        if (Value *old = findValue(*current, v.name))
            *old = v;
        else
            current->values.append(v);
    }
    return headerSeen;
}

QByteArray RegistryStore::serialize(RegistryRoot root, const Hive &h) const
{
    QString out = QLatin1String(kHeader) + QLatin1String("\r\n");
    for (const Key &k : h.keys) {
        out += QLatin1String("\r\n[") + rootName(root);
        if (!k.path.isEmpty())
            out += QLatin1Char('\\') + k.path;
        out += QLatin1String("]\r\n");
        for (const Value &v : k.values) {
            out += v.name.isEmpty() ? QStringLiteral("@")
                                    : QLatin1Char('"') + escapeText(v.name) + QLatin1Char('"');
            if (v.isString)
                out += QLatin1String("=\"") + escapeText(v.text) + QLatin1String("\"\r\n");
            else
                out += QLatin1String("=dword:") +
                       QStringLiteral("%1").arg(v.number, 8, 16, QLatin1Char('0')) + QLatin1String("\r\n");
        }
    }
    return out.toUtf8();
}

bool RegistryStore::commit(RegistryRoot root, Hive &h)
{
    if (!h.writable)
        return false;
    if (h.batchDepth > 0) {
        h.dirty = true;
        return true;
    }
    h.dirty = false;
    if (!QDir().mkpath(m_directory))
        return false;
    QSaveFile file(filePath(root));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = serialize(root, h);
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

RegistryStore::Key *RegistryStore::findKey(Hive &h, const QString &key)
{
    const QString path = normalizeKey(key);
    for (Key &k : h.keys) {
        if (k.path.compare(path, Qt::CaseInsensitive) == 0)
            return &k;
    }
    return nullptr;
}

RegistryStore::Key &RegistryStore::ensureKey(Hive &h, const QString &key)
{
    const QString path = normalizeKey(key);
    // Parents exist as keys of their own, as in the registry.
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString partial;
    for (const QString &part : parts) {
        partial = partial.isEmpty() ? part : partial + QLatin1Char('\\') + part;
        if (!findKey(h, partial))
            h.keys.append(Key{partial, {}});
    }
    return *findKey(h, path);
}

RegistryStore::Value *RegistryStore::findValue(Key &k, const QString &name)
{
    for (Value &v : k.values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    }
    return nullptr;
}

bool RegistryStore::keyExists(RegistryRoot root, const QString &key)
{
    return findKey(hive(root), key) != nullptr;
}

bool RegistryStore::createKey(RegistryRoot root, const QString &key)
{
    Hive &h = hive(root);
    if (findKey(h, key))
        return true;
    ensureKey(h, key);
    return commit(root, h);
}

const RegistryStore::Value *RegistryStore::lookUp(RegistryRoot root, const QString &key, const QString &name,
                                                  bool wantString, RegistryError *error)
{
    RegistryError e = RegistryError::None;
    const Value *found = nullptr;
    if (Key *k = findKey(hive(root), key)) {
        if (const Value *v = findValue(*k, name)) {
            if (v->isString == wantString)
                found = v;
            else
                e = RegistryError::TypeMismatch;
        } else {
            e = RegistryError::ValueNotFound;
        }
    } else {
        e = RegistryError::KeyNotFound;
    }
    if (error)
        *error = e;
    return found;
}

std::optional<QString> RegistryStore::readString(RegistryRoot root, const QString &key, const QString &name,
                                                 RegistryError *error)
{
    if (const Value *v = lookUp(root, key, name, true, error))
        return v->text;
    return std::nullopt;
}

std::optional<quint32> RegistryStore::readDword(RegistryRoot root, const QString &key, const QString &name,
                                                RegistryError *error)
{
    if (const Value *v = lookUp(root, key, name, false, error))
        return v->number;
    return std::nullopt;
}

bool RegistryStore::writeString(RegistryRoot root, const QString &key, const QString &name,
                                const QString &value)
{
    Hive &h = hive(root);
    if (!h.writable)
        return false;
    Key &k = ensureKey(h, key);
    Value v{name, true, value, 0};
    if (Value *old = findValue(k, name))
        *old = Value{old->name, true, value, 0};
    else
        k.values.append(v);
    return commit(root, h);
}

bool RegistryStore::writeDword(RegistryRoot root, const QString &key, const QString &name, quint32 value)
{
    Hive &h = hive(root);
    if (!h.writable)
        return false;
    Key &k = ensureKey(h, key);
    if (Value *old = findValue(k, name))
        *old = Value{old->name, false, QString(), value};
    else
        k.values.append(Value{name, false, QString(), value});
    return commit(root, h);
}

bool RegistryStore::deleteValue(RegistryRoot root, const QString &key, const QString &name)
{
    Hive &h = hive(root);
    Key *k = findKey(h, key);
    if (!k)
        return false;
    const auto before = k->values.size();
    k->values.erase(
        std::remove_if(k->values.begin(), k->values.end(),
                       [&](const Value &v) { return v.name.compare(name, Qt::CaseInsensitive) == 0; }),
        k->values.end());
    if (k->values.size() == before)
        return false;
    return commit(root, h);
}

bool RegistryStore::deleteKeyTree(RegistryRoot root, const QString &key)
{
    Hive &h = hive(root);
    const QString path = normalizeKey(key);
    if (path.isEmpty() || !findKey(h, path))
        return false;
    const QString below = path + QLatin1Char('\\');
    h.keys.erase(std::remove_if(h.keys.begin(), h.keys.end(),
                                [&](const Key &k) {
                                    return k.path.compare(path, Qt::CaseInsensitive) == 0 ||
                                           k.path.startsWith(below, Qt::CaseInsensitive);
                                }),
                 h.keys.end());
    return commit(root, h);
}

QStringList RegistryStore::valueNames(RegistryRoot root, const QString &key)
{
    QStringList names;
    if (Key *k = findKey(hive(root), key)) {
        for (const Value &v : k->values)
            names << v.name;
    }
    return names;
}

void RegistryStore::beginBatch(RegistryRoot root)
{
    ++hive(root).batchDepth;
}

bool RegistryStore::endBatch(RegistryRoot root)
{
    Hive &h = hive(root);
    if (h.batchDepth > 0)
        --h.batchDepth;
    if (h.batchDepth == 0 && h.dirty)
        return commit(root, h);
    return h.writable;
}

QStringList RegistryStore::takeNotices()
{
    QStringList n;
    n.swap(m_notices);
    return n;
}

} // namespace vantora
