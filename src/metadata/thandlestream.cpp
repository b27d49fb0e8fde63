#include "thandlestream.h"

#include "exception.h"

#include "platform/nativefile.h"

namespace vantora {

qint64 THandleStream::Read(void *buffer, qint64 count)
{
    if (count <= 0)
        return 0;
    int error = 0;
    const qint64 n = readNativeFile(m_handle, buffer, count, error);
    return n < 0 ? 0 : n;
}

qint64 THandleStream::Write(const void *buffer, qint64 count)
{
    if (count <= 0)
        return 0;
    int error = 0;
    const qint64 n = writeNativeFile(m_handle, buffer, count, error);
    return n < 0 ? 0 : n;
}

qint64 THandleStream::Seek(qint64 offset, TSeekOrigin origin)
{
    const NativeSeekOrigin o = origin == TSeekOrigin::soBeginning ? NativeSeekOrigin::Beginning
                               : origin == TSeekOrigin::soCurrent ? NativeSeekOrigin::Current
                                                                  : NativeSeekOrigin::End;
    int error = 0;
    const qint64 pos = seekNativeFile(m_handle, offset, o, error);
    if (pos < 0)
        throw EReadError(StreamReadErrorText());
    return pos;
}

qint64 THandleStream::Size()
{
    int error = 0;
    const qint64 size = nativeFileSize(m_handle, error);
    if (size < 0)
        throw EReadError(StreamReadErrorText());
    return size;
}

} // namespace vantora
