#include "thumbnails/thumbnailprotocol.h"

#include <cstring>

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
    if (image.isNull() || image.width() > MaxSide || image.height() > MaxSide)
        return {};
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    const qsizetype row = qsizetype(pixels.width()) * 4;
    QByteArray bytes;
    bytes.reserve(16 + row * pixels.height());
    appendLe32(bytes, quint32(qMax(0, sourceSize.width())));
    appendLe32(bytes, quint32(qMax(0, sourceSize.height())));
    appendLe32(bytes, quint32(pixels.width()));
    appendLe32(bytes, quint32(pixels.height()));
    for (int y = 0; y < pixels.height(); ++y)
        bytes.append(reinterpret_cast<const char *>(pixels.constScanLine(y)), row);
    return bytes;
}

bool decodeAnswer(const QByteArray &answer, QImage *image, QSize *sourceSize)
{
    if (answer.size() < 16)
        return false;
    const char *p = answer.constData();
    const quint32 sourceWidth = le32(p);
    const quint32 sourceHeight = le32(p + 4);
    const quint32 width = le32(p + 8);
    const quint32 height = le32(p + 12);
    if (width == 0 || height == 0 || width > quint32(MaxSide) || height > quint32(MaxSide) ||
        sourceWidth > quint32(1) << 30 || sourceHeight > quint32(1) << 30 ||
        quint64(answer.size()) != 16 + quint64(width) * height * 4)
        return false;
    QImage pixels(int(width), int(height), QImage::Format_RGB32);
    const qsizetype row = qsizetype(width) * 4;
    for (int y = 0; y < int(height); ++y)
        std::memcpy(pixels.scanLine(y), p + 16 + row * y, size_t(row));
    *image = pixels;
    *sourceSize = QSize(int(sourceWidth), int(sourceHeight));
    return true;
}

} // namespace vantora::thumbnailprotocol
