#include "tentryitems.h"

namespace vantora {

TEntryItems::TEntryItems(TExifInfo *owner) : m_owner(owner)
{
}

void TEntryItems::Assign(const TEntryItems &source)
{
    if (this == &source)
        return;
    m_tiffOffset = source.m_tiffOffset;
    Clear();
    for (const auto &item : source.m_items)
        Add().Assign(*item);
}

TEntryItem &TEntryItems::Add()
{
    m_items.push_back(std::make_unique<TEntryItem>(this));
    return *m_items.back();
}

void TEntryItems::Delete(int index)
{
    if (index >= 0 && index < Count())
        m_items.erase(m_items.begin() + index);
}

void TEntryItems::Clear()
{
    m_items.clear();
}

int TEntryItems::IndexOfTag(quint16 tag, quint8 ifdIndex) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_items[size_t(i)]->Tag() == tag && m_items[size_t(i)]->IfdIndex() == ifdIndex)
            return i;
    }
    return -1;
}

} // namespace vantora
