#include "tmemorystream.h"

#include "exception.h"

#include <cstring>
#include <limits>

namespace vantora {

qint64 TMemoryStream::Read(void *buffer, qint64 count)
{
    if (count <= 0 || m_position >= m_data.size())
        return 0;
    const qint64 n = std::min(count, qint64(m_data.size()) - m_position);
    std::memcpy(buffer, m_data.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

qint64 TMemoryStream::Write(const void *buffer, qint64 count)
{
    if (count <= 0)
        return 0;
    const qint64 end = m_position + count;
    if (end > qint64(std::numeric_limits<int>::max()))
        return 0;
    if (end > m_data.size())
        m_data.resize(int(end), '\0');
    std::memcpy(m_data.data() + m_position, buffer, size_t(count));
    m_position = end;
    return count;
}

qint64 TMemoryStream::Seek(qint64 offset, TSeekOrigin origin)
{
    const qint64 base = origin == TSeekOrigin::soBeginning ? 0
                        : origin == TSeekOrigin::soCurrent ? m_position
                                                           : qint64(m_data.size());
    if (offset < -base || offset > std::numeric_limits<qint64>::max() - base)
        throw EReadError(StreamReadErrorText());
    m_position = base + offset;
    return m_position;
}

} // namespace vantora
