#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QtGlobal>

namespace vantora {

// Between the window and the thumbnail helper: each message is a 4-byte little-endian length and that many
// bytes. The window sends a file's path (its exact bytes); the helper answers each path, in order, with the
// size of the picture the thumbnail was made from (width and height, 4-byte little-endian each) and the
// thumbnail as PNG or JPEG, or with an empty message when the file has none.
namespace thumbnailprotocol {

// No path is longer; an answer claiming more than MaxAnswer bytes means a broken helper.
inline constexpr quint32 MaxPath = 64 * 1024;
inline constexpr quint32 MaxAnswer = 32 * 1024 * 1024;

QByteArray frame(const QByteArray &payload);

// Takes one whole message off the front of buffer into *payload. False while it is incomplete; sets
// *broken (and returns false) when its length is over limit.
bool takeFrame(QByteArray &buffer, quint32 limit, QByteArray *payload, bool *broken);

// The answer for a thumbnail: JPEG for an opaque picture (small and quick), PNG when it has transparency.
QByteArray encodeAnswer(const QImage &image, const QSize &sourceSize);
// False (and nothing set) for an empty answer or one that does not decode.
bool decodeAnswer(const QByteArray &answer, QImage *image, QSize *sourceSize);

} // namespace thumbnailprotocol

} // namespace vantora
