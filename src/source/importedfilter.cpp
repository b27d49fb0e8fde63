#include "source/importedfilter.h"

#include "platform/bytepath.h"
#include "platform/directoryreader.h"

namespace vantora {

ImportedFilter::ImportedFilter(ImportedStamps files, const QString &volumeRoot, bool listSkipped)
    : m_files(std::move(files)), m_rootLength(RelativeRootLength(volumeRoot)), m_listSkipped(listSkipped)
{
}

bool ImportedFilter::excludes(const QString &folder, QByteArrayView name, const DirectoryReader &entry)
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
    if (!m_files.containsPath(m_key))
        return false;
    const FileStatus st = entry.entryStatus(true);
    if (st.kind != EntryKind::File || !m_files.contains(m_key, st.size, st.mtime))
        return false;
    ++m_skippedCount;
    if (m_listSkipped) {
        ImportedFile record{m_key, st.size, 0, {}, {}, 0};
        record.setMtime(st.mtime);
        m_skipped.append({folder + pathFromBytes(name), record});
    }
    return true;
}

} // namespace vantora
