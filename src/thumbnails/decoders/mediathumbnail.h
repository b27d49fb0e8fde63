#pragma once

#include "thumbnails/thumbnailmaker.h"

namespace vantora {

class ReadOnlyFile;

// Video frames and HEIF pictures, in a module (vantora-thumbnail-media.so) that the helper program loads at
// its first such file: a helper that meets only photos starts without FFmpeg's and libheif's hundred
// libraries, and the program itself never links them (they read whatever a card holds).

// The module's entry: the file's picture, chosen by its content, not its name: a HEIF image (HEIC, HEIF,
// HIF, AVIF) by its ftyp brand, else a frame of a video container (MP4, MOV, MTS, M2TS, AVI, 3GP, M4V,
// MKV...) as libavformat recognises it. Sets *made to a null image when there is none.
extern "C" void vantoraMediaThumbnail(const QString &path, int side, Thumbnail *made);
using MediaThumbnailEntry = void (*)(const QString &path, int side, Thumbnail *made);
inline constexpr char MediaThumbnailModule[] = "vantora-thumbnail-media.so";
inline constexpr char MediaThumbnailSymbol[] = "vantoraMediaThumbnail";

// A HEIF image's smallest thumbnail item of at least ThumbnailSide on its long side, else its primary
// image decoded and scaled; turned and mirrored as the file says. sourceSize: the item's or the image's.
Thumbnail HeifThumbnail(const ReadOnlyFile &file, int side);

// A video frame: the keyframe at or before one second in (else the first the decoder gives), scaled to fit
// a square of `side` as it is displayed (pixel aspect and rotation applied). Null when the file is not a
// video container or its video cannot be decoded within fixed limits of packets and bytes.
Thumbnail VideoFrameThumbnail(const ReadOnlyFile &file, int side);

} // namespace vantora
