#include "thumbnails/thumbnailprotocol.h"

#include <QBuffer>

namespace vantora::thumbnailprotocol {

namespace {

void appendLe32(QByteArray &out, quint32 n)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((n >> shift) & 0xFF));
}

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

} // namespace

QByteArray frame(const QByteArray &payload)
{
    QByteArray out;
    out.reserve(payload.size() + 4);
    appendLe32(out, quint32(payload.size()));
    out.append(payload);
    return out;
}

bool takeFrame(QByteArray &buffer, quint32 limit, QByteArray *payload, bool *broken)
{
    *broken = false;
    if (buffer.size() < 4)
        return false;
    const quint32 n = le32(buffer.constData());
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

QByteArray encodeAnswer(const QImage &image, const QSize &sourceSize)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    appendLe32(bytes, quint32(qMax(0, sourceSize.width())));
    appendLe32(bytes, quint32(qMax(0, sourceSize.height())));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::Append);
    if (image.hasAlphaChannel())
        image.save(&buffer, "PNG");
    else
        image.save(&buffer, "JPEG", 90);
    return bytes;
}

bool decodeAnswer(const QByteArray &answer, QImage *image, QSize *sourceSize)
{
    if (answer.size() <= 8)
        return false;
    const QSize size(int(qMin(le32(answer.constData()), quint32(1) << 30)),
                     int(qMin(le32(answer.constData() + 4), quint32(1) << 30)));
    // Made by our own helper from a picture it decoded: the only image data this side decodes.
    QImage decoded;
    if (!decoded.loadFromData(QByteArrayView(answer).sliced(8)))
        return false;
    *image = decoded;
    *sourceSize = size;
    return true;
}

} // namespace vantora::thumbnailprotocol
