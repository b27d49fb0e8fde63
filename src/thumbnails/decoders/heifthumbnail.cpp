#include "thumbnails/decoders/mediathumbnail.h"

#include "platform/readonlyfile.h"

#include <libheif/heif.h>

#include <memory>
#include <vector>

namespace vantora {

namespace {

// The widest and tallest image decoded.
constexpr int MaxHeifSide = 16384;
constexpr int MaxThumbnailItems = 16;

struct Reader
{
    const ReadOnlyFile *file;
    qint64 position = 0;
};

heif_reader readerOver()
{
    heif_reader reader{};
    reader.reader_api_version = 1;
    reader.get_position = [](void *data) -> int64_t { return static_cast<Reader *>(data)->position; };
    reader.read = [](void *out, size_t size, void *data) -> int {
        auto *r = static_cast<Reader *>(data);
        if (r->file->readAt(r->position, out, qint64(size)) != qint64(size))
            return -1;
        r->position += qint64(size);
        return 0;
    };
    reader.seek = [](int64_t position, void *data) -> int {
        auto *r = static_cast<Reader *>(data);
        if (position < 0 || position > r->file->size())
            return -1;
        r->position = position;
        return 0;
    };
    reader.wait_for_file_size = [](int64_t target, void *data) {
        return target <= static_cast<Reader *>(data)->file->size() ? heif_reader_grow_status_size_reached
                                                                   : heif_reader_grow_status_size_beyond_eof;
    };
    return reader;
}

template <typename T, void (*Free)(T *)> struct Freer
{
    void operator()(T *p) const { Free(p); }
};
template <typename T, void (*Free)(T *)> using Owned = std::unique_ptr<T, Freer<T, Free>>;
using Context = Owned<heif_context, heif_context_free>;
using Handle = Owned<const heif_image_handle, heif_image_handle_release>;
using Image = Owned<const heif_image, heif_image_release>;

QImage decodeFitted(const heif_image_handle *handle, int side)
{
    heif_image *raw = nullptr;
    if (heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
        heif_error_Ok)
        return {};
    const Image image(raw);
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(raw, heif_channel_interleaved);
    const int height = heif_image_get_height(raw, heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0)
        return {};
    // Wraps libheif's pixels: scaled (a copy) before they are released.
    const QImage view(pixels, width, height, stride, QImage::Format_RGB888);
    const QImage fitted = width > side || height > side
                              ? view.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : view.copy();
    return fitted.convertToFormat(QImage::Format_RGB32);
}

} // namespace

Thumbnail HeifThumbnail(const ReadOnlyFile &file, int side)
{
    const Context context(heif_context_alloc());
    if (!context)
        return {};
    heif_context_set_maximum_image_size_limit(context.get(), MaxHeifSide);
    heif_context_set_max_decoding_threads(context.get(), 1); // two helpers already share the cores
    Reader state{&file};
    const heif_reader reader = readerOver();
    if (heif_context_read_from_reader(context.get(), &reader, &state, nullptr).code != heif_error_Ok)
        return {};
    heif_image_handle *primaryRaw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryRaw).code != heif_error_Ok)
        return {};
    const Handle primary(primaryRaw);
    // The smallest thumbnail item that is big enough, as for a photo's embedded previews.
    const int count = qBound(0, heif_image_handle_get_number_of_thumbnails(primaryRaw), MaxThumbnailItems);
    std::vector<heif_item_id> ids(size_t(count) + 1);
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primaryRaw, ids.data(), count);
    Handle best;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle *raw = nullptr;
        if (heif_image_handle_get_thumbnail(primaryRaw, ids[size_t(i)], &raw).code != heif_error_Ok)
            continue;
        Handle thumb(raw);
        const int longSide = qMax(heif_image_handle_get_width(raw), heif_image_handle_get_height(raw));
        if (longSide >= ThumbnailSide && (!best || longSide < qMax(heif_image_handle_get_width(best.get()),
                                                                   heif_image_handle_get_height(best.get()))))
            best = std::move(thumb);
    }
    for (const heif_image_handle *handle : {best.get(), primary.get()}) {
        if (!handle)
            continue;
        const QSize size(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
        if (size.isEmpty() || size.width() > MaxHeifSide || size.height() > MaxHeifSide)
            continue;
        Thumbnail made{decodeFitted(handle, side), size};
        if (!made.image.isNull())
            return made;
    }
    return {};
}

} // namespace vantora
