#include "tstream.h"

#include "exception.h"

#include <limits>

namespace vantora {

QString StreamReadErrorText()
{
    return QStringLiteral("ストリーム読み込みエラー");
}

void TStream::ReadBuffer(void *buffer, qint64 count)
{
    if (count < 0 || (count != 0 && Read(buffer, count) != count))
        throw EReadError(StreamReadErrorText());
}

void TStream::WriteBuffer(const void *buffer, qint64 count)
{
    if (count < 0 || (count != 0 && Write(buffer, count) != count))
        throw EWriteError(QStringLiteral("ストリーム書き込みエラー"));
}

QByteArray TStream::ReadBytes(qint64 count)
{
    const qint64 left = Size() - Position();
    if (count < 0 || count > left || count > qint64(std::numeric_limits<int>::max()))
        throw EReadError(StreamReadErrorText());
    QByteArray bytes(int(count), Qt::Uninitialized);
    ReadBuffer(bytes.data(), count);
    return bytes;
}

} // namespace vantora
