#include "texifrational.h"

#include "texifinfo.h"

namespace vantora {

TExifRational::TExifRational(TExifInfo *owner) : m_owner(owner)
{
}

TExifRational::~TExifRational()
{
    if (m_owner)
        m_owner->RationalDestroyed(this);
}

void TExifRational::Assign(const TExifRational &source)
{
    m_numerator = source.m_numerator;
    m_denominator = source.m_denominator;
}

} // namespace vantora
