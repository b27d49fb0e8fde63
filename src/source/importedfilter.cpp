#include "source/importedfilter.h"

#include "platform/bytepath.h"
#include "platform/directoryreader.h"

namespace vantora {

ImportedFilter::ImportedFilter(ImportedStamps files, const QString &volumeRoot, bool listSkipped)
    : m_files(std::move(files)), m_rootLength(RelativeRootLength(volumeRoot)), m_listSkipped(listSkipped)
{
}

bool ImportedFilter::keyOf(const QString &folder, QByteArrayView name)
{
    if (m_files.isEmpty())
        return false;
    if (folder != m_folder) {
        m_folder = folder;
        m_folderBytes = pathToBytes(folder).mid(m_rootLength);
    }
    // Built in place: no allocation per file.
    m_key.truncate(0);
    m_key.append(QByteArrayView(m_folderBytes));
    m_key.append(name);
    return m_files.containsPath(m_key);
}

bool ImportedFilter::excludesStamped(const QString &folder, QByteArrayView name, qint64 size, FileTime mtime)
{
    if (!m_files.contains(m_key, size, mtime))
        return false;
    ++m_skippedCount;
    if (m_listSkipped) {
        ImportedFile record{m_key, size, 0, {}, {}, 0};
        record.setMtime(mtime);
        m_skipped.append({folder + pathFromBytes(name), record});
    }
    return true;
}

bool ImportedFilter::excludes(const QString &folder, QByteArrayView name, const DirectoryReader &entry)
{
    if (!keyOf(folder, name))
        return false;
    const FileStatus st = entry.entryStatus(true);
    return st.kind == EntryKind::File && excludesStamped(folder, name, st.size, st.mtime);
}

bool ImportedFilter::excludesListed(const QString &folder, QByteArrayView name, qint64 size, FileTime mtime)
{
    return keyOf(folder, name) && excludesStamped(folder, name, size, mtime);
}

} // namespace vantora
