#pragma once

#include "tstream.h"

#include <QByteArray>

namespace vantora {

// A stream over bytes in memory; writing past the end grows it.
class TMemoryStream final : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(const QByteArray &data) : m_data(data) {}

    qint64 Read(void *buffer, qint64 count) override;
    qint64 Write(const void *buffer, qint64 count) override;
    qint64 Seek(qint64 offset, TSeekOrigin origin) override;
    qint64 Size() override { return m_data.size(); }

    const QByteArray &Data() const { return m_data; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
};

} // namespace vantora
