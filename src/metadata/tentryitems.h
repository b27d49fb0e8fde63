#pragma once

#include "tentryitem.h"

#include <memory>
#include <vector>

namespace vantora {

class TExifInfo;

// One collection of directory entries. Items stay at their address while the collection holds them.
class TEntryItems final
{
public:
    explicit TEntryItems(TExifInfo *owner = nullptr);
    TEntryItems(const TEntryItems &) = delete;
    TEntryItems &operator=(const TEntryItems &) = delete;

    // Copies TiffOffset, then every item.
    void Assign(const TEntryItems &source);

    TExifInfo *Owner() const { return m_owner; }
    qint64 TiffOffset() const { return m_tiffOffset; }
    void SetTiffOffset(qint64 offset) { m_tiffOffset = offset; }

    int Count() const { return int(m_items.size()); }
    TEntryItem &Items(int index) { return *m_items.at(size_t(index)); }
    const TEntryItem &Items(int index) const { return *m_items.at(size_t(index)); }
    const TEntryItem &operator[](int index) const { return Items(index); }

    TEntryItem &Add();
    void Delete(int index);
    void Clear();

    // Index of the first entry with this tag in this directory, -1 when none.
    int IndexOfTag(quint16 tag, quint8 ifdIndex) const;

    // Update mode nests; it only counts, nothing watches the collection.
    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate() { --m_updateCount; }
    int UpdateCount() const { return m_updateCount; }

private:
    TExifInfo *m_owner;
    qint64 m_tiffOffset = 0;
    std::vector<std::unique_ptr<TEntryItem>> m_items;
    int m_updateCount = 0;
};

} // namespace vantora
