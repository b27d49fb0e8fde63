#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QtGlobal>

namespace vantora {

// Between the window and the thumbnail helper: each message is a 4-byte little-endian length and that many
// bytes. The window sends a file's path (its exact bytes); the helper answers each path, in order, with an
// empty message when the file has none, else with 4-byte little-endian numbers: the width and height of
// the picture the thumbnail was made from, the thumbnail's width and height, and then its pixels as 32-bit
// 0xffRRGGBB words (QImage::Format_RGB32), row after row. Plain pixels: the window decodes nothing that
// came from a card, and neither side spends time on an image format.
namespace thumbnailprotocol {

// No path is longer, no thumbnail bigger; an answer claiming more than MaxAnswer bytes means a broken
// helper.
inline constexpr quint32 MaxPath = 64 * 1024;
inline constexpr int MaxSide = 1024;
inline constexpr quint32 MaxAnswer = 16 + MaxSide * MaxSide * 4;

QByteArray frame(const QByteArray &payload);

// Takes one whole message off the front of buffer into *payload. False while it is incomplete; sets
// *broken (and returns false) when its length is over limit.
bool takeFrame(QByteArray &buffer, quint32 limit, QByteArray *payload, bool *broken);

// The answer for a thumbnail.
QByteArray encodeAnswer(const QImage &image, const QSize &sourceSize);
// False (and nothing set) for an empty answer or one that is not well formed.
bool decodeAnswer(const QByteArray &answer, QImage *image, QSize *sourceSize);

} // namespace thumbnailprotocol

} // namespace vantora
