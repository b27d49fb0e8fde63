#include "source/importedfilter.h"

#include "platform/bytepath.h"
#include "platform/directoryreader.h"

namespace vantora {

ImportedFilter::ImportedFilter(ImportedFiles files, const QString &volumeRoot)
    : m_files(std::move(files)), m_rootLength(RelativeRootLength(volumeRoot))
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
    if (!m_files.contains(m_key))
        return false;
    const FileStatus st = entry.entryStatus(true);
    if (st.kind != EntryKind::File)
        return false;
    const ImportedFile *record = findImported(m_files, m_key, st.size, st.mtimeNs);
    if (!record)
        return false;
    m_skipped.append({folder + pathFromBytes(name), *record});
    return true;
}

} // namespace vantora
