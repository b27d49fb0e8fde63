#include "source/importedfilter.h"

#include "platform/bytepath.h"
#include "platform/directoryreader.h"

namespace vantora {

ImportedFilter::ImportedFilter(ImportedFiles files, const QString &volumeRoot, bool listSkipped)
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
    m_key = m_folderBytes;
    m_key.append(name.data(), name.size());
    auto it = m_files.constFind(m_key);
    if (it == m_files.cend())
        return false;
    const FileStatus st = entry.entryStatus(true);
    if (st.kind != EntryKind::File)
        return false;
    for (; it != m_files.cend() && it.key() == m_key; ++it) {
        if (it->size == st.size && it->mtimeNs == st.mtimeNs) {
            ++m_skippedCount;
            if (m_listSkipped)
                m_skipped.append({folder + pathFromBytes(name), *it});
            return true;
        }
    }
    return false;
}

} // namespace vantora
