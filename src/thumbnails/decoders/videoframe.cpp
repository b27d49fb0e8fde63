#include "thumbnails/decoders/mediathumbnail.h"

#include "platform/readonlyfile.h"

#include <QByteArrayList>
#include <QTransform>

#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

namespace vantora {

namespace {

// What the container is probed from, and the containers a camera or phone writes video in.
constexpr int ProbeBytes = 64 * 1024;
constexpr const char *VideoContainers[] = {"mov",      "mp4",  "3gp",  "mpegts", "avi",
                                           "matroska", "webm", "mpeg", "flv",    "asf"};
// Bounds of the search for a frame: packets read and bytes read in all, whatever the file claims.
constexpr int MaxPackets = 2000;
constexpr qint64 MaxReadBytes = 256 * 1024 * 1024;
constexpr int IoBufferBytes = 64 * 1024;
constexpr int MaxVideoSide = 16384;

struct Source
{
    const ReadOnlyFile *file;
    qint64 position = 0;
    qint64 read = 0;
};

int readPacket(void *opaque, uint8_t *buffer, int size)
{
    auto *s = static_cast<Source *>(opaque);
    if (s->read >= MaxReadBytes)
        return AVERROR_EOF;
    const qint64 got = s->file->readAt(s->position, buffer, size);
    if (got < 0)
        return AVERROR(EIO);
    if (got == 0)
        return AVERROR_EOF;
    s->position += got;
    s->read += got;
    return int(got);
}

int64_t seekTo(void *opaque, int64_t offset, int whence)
{
    auto *s = static_cast<Source *>(opaque);
    const qint64 size = s->file->size();
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += s->position;
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return -1;
    }
    if (offset < 0)
        return -1;
    s->position = offset;
    return offset;
}

// The video container format of the file's first bytes, by content alone; none for anything else (a
// picture, an audio file, a raw stream).
const AVInputFormat *videoContainer(const ReadOnlyFile &file)
{
    std::vector<uint8_t> head(size_t(ProbeBytes) + AVPROBE_PADDING_SIZE, 0);
    const qint64 got = file.readAt(0, head.data(), ProbeBytes);
    if (got <= 0)
        return nullptr;
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = head.data();
    probe.buf_size = int(got);
    int score = 0;
    const AVInputFormat *format = av_probe_input_format3(&probe, 1, &score);
    if (!format || score < AVPROBE_SCORE_EXTENSION / 2)
        return nullptr;
    const QByteArrayList names = QByteArray(format->name).split(',');
    for (const char *name : VideoContainers) {
        if (names.contains(QByteArray(name)))
            return format;
    }
    return nullptr;
}

struct FormatCloser
{
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct IoFreer
{
    void operator()(AVIOContext *io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct CodecFreer
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFreer
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFreer
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ScalerFreer
{
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

// The first frame the decoder gives from where the container stands, within MaxPackets.
std::unique_ptr<AVFrame, FrameFreer> firstFrame(AVFormatContext *format, AVCodecContext *codec, int stream)
{
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!frame || !packet)
        return {};
    bool draining = false;
    for (int packets = 0; packets < MaxPackets;) {
        if (!draining) {
            const int read = av_read_frame(format, packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(codec, nullptr);
            } else {
                // A damaged packet is passed over: the next may decode.
                if (packet->stream_index == stream) {
                    ++packets;
                    avcodec_send_packet(codec, packet.get());
                }
                av_packet_unref(packet.get());
            }
        }
        const int got = avcodec_receive_frame(codec, frame.get());
        if (got == 0)
            return frame;
        if (got == AVERROR_EOF || (draining && got == AVERROR(EAGAIN)))
            return {};
        if (got < 0 && got != AVERROR(EAGAIN))
            return {};
    }
    return {};
}

// The frame scaled to `size`, as 0xffRRGGBB words.
QImage scaled(const AVFrame *frame, QSize size)
{
    std::unique_ptr<SwsContext, ScalerFreer> scaler(
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), size.width(), size.height(),
                       AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler)
        return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) !=
        size.height())
        return {};
    return image;
}

// Degrees clockwise the stream's pictures are turned for display.
int rotationOf(const AVStream *stream)
{
    const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    const double degrees = -av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (std::isnan(degrees))
        return 0;
    return ((int(std::lround(degrees / 90.0)) % 4 + 4) % 4) * 90;
}

// The container opened over the file through bounded reads. Stays where it is made: the reader points
// at `source`.
struct OpenedVideo
{
    Source source;
    std::unique_ptr<AVIOContext, IoFreer> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
};

bool openContainer(OpenedVideo &video, const AVInputFormat *container)
{
    auto *buffer = static_cast<uint8_t *>(av_malloc(IoBufferBytes));
    if (!buffer)
        return false;
    video.io.reset(avio_alloc_context(buffer, IoBufferBytes, 0, &video.source, readPacket, nullptr, seekTo));
    if (!video.io) {
        av_free(buffer);
        return false;
    }
    AVFormatContext *opened = avformat_alloc_context();
    if (!opened)
        return false;
    opened->pb = video.io.get();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    opened->probesize = 2 * 1024 * 1024;
    opened->max_analyze_duration = AV_TIME_BASE;
    if (avformat_open_input(&opened, nullptr, container, nullptr) < 0)
        return false; // frees the context
    video.format.reset(opened);
    return true;
}

// The index of the best video stream, with its decoder; -1 when there is none to decode.
int videoStream(AVFormatContext *format, const AVCodec **decoder)
{
    int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, decoder, 0);
    // Containers that name their streams' sizes need no look into the packets (quicker for a phone's
    // 4K clip); a transport stream does.
    if (stream < 0 || format->streams[stream]->codecpar->width <= 0) {
        if (avformat_find_stream_info(format, nullptr) < 0)
            return -1;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, decoder, 0);
    }
    return stream < 0 || !*decoder ? -1 : stream;
}

std::unique_ptr<AVCodecContext, CodecFreer> openDecoder(const AVCodec *decoder, const AVStream *video)
{
    if (video->codecpar->width > MaxVideoSide || video->codecpar->height > MaxVideoSide)
        return {};
    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), video->codecpar) < 0)
        return {};
    codec->thread_count = 1; // one frame: threads would only delay it
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return {};
    return codec;
}

// One second in: past a black or faded first frame. The keyframe at or before it decodes alone.
std::unique_ptr<AVFrame, FrameFreer> frameOneSecondIn(AVFormatContext *format, AVCodecContext *codec,
                                                      int stream)
{
    const AVStream *video = format->streams[stream];
    const int64_t start = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
    const int64_t target = start + av_rescale_q(AV_TIME_BASE, AV_TIME_BASE_Q, video->time_base);
    bool seeked = av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD) >= 0;
    auto frame = firstFrame(format, codec, stream);
    // A stream seeked by time alone (a transport stream) may land past its only keyframe: from the top.
    if (!frame && seeked) {
        avcodec_flush_buffers(codec);
        seeked = av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
        if (seeked)
            frame = firstFrame(format, codec, stream);
    }
    if (!frame || frame->width <= 0 || frame->height <= 0 || frame->width > MaxVideoSide ||
        frame->height > MaxVideoSide)
        return {};
    return frame;
}

// The frame as displayed: the pixel aspect, then the rotation; scaled to fit `side`.
Thumbnail displayed(AVFormatContext *format, AVStream *video, AVFrame *frame, int side)
{
    const AVRational aspect = av_guess_sample_aspect_ratio(format, video, frame);
    QSize shown(frame->width, frame->height);
    if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
        shown.setWidth(qMax(1, int(std::lround(double(frame->width) * aspect.num / aspect.den))));
    if (shown.width() > MaxVideoSide)
        return {};
    const QSize fitted = shown.width() > side || shown.height() > side
                             ? shown.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1))
                             : shown;
    QImage image = scaled(frame, fitted);
    if (image.isNull())
        return {};
    const int degrees = rotationOf(video);
    if (degrees != 0) {
        image = image.transformed(QTransform().rotate(degrees));
        if (degrees != 180)
            shown.transpose();
    }
    return {image, shown};
}

} // namespace

Thumbnail VideoFrameThumbnail(const ReadOnlyFile &file, int side)
{
    const AVInputFormat *container = videoContainer(file);
    if (!container)
        return {};
    av_log_set_level(AV_LOG_QUIET);
    OpenedVideo opened{{&file}, {}, {}};
    if (!openContainer(opened, container))
        return {};
    AVFormatContext *format = opened.format.get();
    const AVCodec *decoder = nullptr;
    const int stream = videoStream(format, &decoder);
    if (stream < 0)
        return {};
    AVStream *video = format->streams[stream];
    const auto codec = openDecoder(decoder, video);
    if (!codec)
        return {};
    const auto frame = frameOneSecondIn(format, codec.get(), stream);
    if (!frame)
        return {};
    return displayed(format, video, frame.get(), side);
}

} // namespace vantora
