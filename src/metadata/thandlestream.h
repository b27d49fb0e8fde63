#pragma once

#include "tstream.h"

namespace vantora {

// A stream over an open system file handle; it does not own the handle.
class THandleStream : public TStream
{
public:
    explicit THandleStream(int handle) : m_handle(handle) {}

    int Handle() const { return m_handle; }

    qint64 Read(void *buffer, qint64 count) override;
    qint64 Write(const void *buffer, qint64 count) override;
    qint64 Seek(qint64 offset, TSeekOrigin origin) override;
    qint64 Size() override;

protected:
    int m_handle;
};

} // namespace vantora
