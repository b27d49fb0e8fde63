#include "thumbnails/thumbnailprotocol.h"

#include <QBuffer>

namespace vantora::thumbnailprotocol {

QByteArray frame(const QByteArray &payload)
{
    const auto n = quint32(payload.size());
    QByteArray out;
    out.reserve(payload.size() + 4);
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((n >> shift) & 0xFF));
    out.append(payload);
    return out;
}

bool takeFrame(QByteArray &buffer, quint32 limit, QByteArray *payload, bool *broken)
{
    *broken = false;
    if (buffer.size() < 4)
        return false;
    const auto *u = reinterpret_cast<const unsigned char *>(buffer.constData());
    const quint32 n = quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
    if (n > limit) {
        *broken = true;
        return false;
    }
    if (quint64(buffer.size()) < quint64(n) + 4)
        return false;
    *payload = buffer.mid(4, qsizetype(n));
    buffer.remove(0, qsizetype(n) + 4);
    return true;
}

QByteArray encode(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.hasAlphaChannel())
        image.save(&buffer, "PNG");
    else
        image.save(&buffer, "JPEG", 90);
    return bytes;
}

} // namespace vantora::thumbnailprotocol
