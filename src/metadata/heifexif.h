#pragma once

#include "metadata/quicktimedate.h"

#include <QByteArray>
#include <QByteArrayView>

namespace vantora {

// Limits of the HEIF reader: box headers read from one file, item entries looked at (in iinf and in
// iloc), extents of the Exif item, and bytes of the Exif item.
constexpr int HeifMaxBoxes = 4096;
constexpr int HeifMaxItems = 4096;
constexpr int HeifMaxExtents = 64;
constexpr qint64 HeifMaxExifBytes = 1024 * 1024;

// True when head, the first bytes of a file, starts with an ftyp box whose major or a compatible brand
// is a HEIF image brand (heic, heix, hevc, heim, heis, mif1, msf1, avif...). A CR3 (crx) or an MP4 is not.
bool LooksLikeHeif(QByteArrayView head);

// The Exif block of a HEIF image (HEIC, HEIF, HIF, AVIF) as TIFF bytes ("II*" or "MM*" first): the top
// meta box, its first iinf/infe item of type Exif (infe versions 2 and 3), that item's extents in iloc
// (versions 0 to 2; file offsets, or offsets into the meta's idat), joined, less the TIFF header offset
// they start with. Empty when there is none or a box, an item or an extent on the way is damaged or
// beyond the limits above. Never reads past source.size(); allocates only the Exif item, and only once
// its extents were found inside the file and within HeifMaxExifBytes.
QByteArray ReadHeifExif(QuickTimeSource &source);

} // namespace vantora
