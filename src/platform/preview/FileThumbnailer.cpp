#include "platform/preview/FileThumbnailer.h"

#include "platform/image/ImageLoader.h"
#include "platform/preview/TextPageThumbnail.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTransform>
#include <cmath>
#include <memory>
#include <mutex>
#include <poppler-qt6.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vesk {

namespace {

// Reading stops after this many packets without a decoded frame (a broken or hostile file).
constexpr int kMaxPacketsForFrame = 600;

QSize fitted(QSize source, QSize bounds)
{
    if (source.isEmpty() || bounds.isEmpty())
        return {};
    QSize size = source.scaled(bounds, Qt::KeepAspectRatio);
    if (size.width() > source.width() || size.height() > source.height())
        size = source;
    return size.expandedTo(QSize(1, 1));
}

bool isPdf(const QMimeType& mime, const QString& path)
{
    return mime.inherits(QStringLiteral("application/pdf")) || QFileInfo(path).suffix().toLower() == "pdf";
}

bool isImage(const QMimeType& mime, const QString& path)
{
    return mime.name().startsWith(QLatin1String("image/")) || ImageLoader::isHeifPath(path);
}

bool isVideo(const QMimeType& mime)
{
    return mime.name().startsWith(QLatin1String("video/"));
}

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

// Degrees the stored frames must be turned clockwise to be upright, from the display matrix.
int displayRotation(const AVStream* stream)
{
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterClockwise))
        return 0;
    int degrees = int(std::lround(-counterClockwise)) % 360;
    if (degrees < 0)
        degrees += 360;
    return (degrees + 45) / 90 * 90 % 360;
}

QImage frameToImage(const AVFrame* frame, QSize maxSize)
{
    const QSize target = fitted(QSize(frame->width, frame->height), maxSize);
    if (!target.isValid())
        return {};
    std::unique_ptr<SwsContext, ScalerFreer> scaler(sws_getContext(frame->width, frame->height,
        AVPixelFormat(frame->format), target.width(), target.height(), AV_PIX_FMT_BGRA, SWS_AREA, nullptr,
        nullptr, nullptr));
    if (!scaler)
        return {};
    QImage image(target, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    uint8_t* destination[4] = {image.bits(), nullptr, nullptr, nullptr};
    int destinationStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, destination, destinationStride);
    return image;
}

} // namespace

FileThumbnail FileThumbnailer::iconFor(const QString& path)
{
    static const QMimeDatabase database;
    const QMimeType mime = database.mimeTypeForFile(path);
    FileThumbnail result;
    result.iconName = mime.iconName();
    result.genericIconName = mime.genericIconName();
    if (result.iconName.isEmpty())
        result.iconName = QStringLiteral("application-octet-stream");
    if (result.genericIconName.isEmpty())
        result.genericIconName = QStringLiteral("text-x-generic");
    return result;
}

FileThumbnail FileThumbnailer::thumbnail(const QString& path, QSize maxSize)
{
    FileThumbnail result = iconFor(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || maxSize.isEmpty())
        return result;
    static const QMimeDatabase database;
    const QMimeType mime = database.mimeTypeForFile(path);
    if (isImage(mime, path)) {
        QImage image = ImageLoader::load(path, std::max(maxSize.width(), maxSize.height()));
        if (!image.isNull())
            result.image = image.scaled(fitted(image.size(), maxSize), Qt::IgnoreAspectRatio,
                Qt::SmoothTransformation);
    } else if (isPdf(mime, path)) {
        result.image = pdfFirstPage(path, maxSize);
    } else if (isVideo(mime)) {
        result.image = videoFrame(path, maxSize);
    } else if (mime.inherits(QStringLiteral("text/html"))) {
        result.image = textPageThumbnail(path, TextPageSource::Html, maxSize);
    } else if (mime.inherits(QStringLiteral("text/plain"))) {
        result.image = textPageThumbnail(path, TextPageSource::PlainText, maxSize);
    }
    return result;
}

QImage FileThumbnailer::pdfFirstPage(const QString& path, QSize maxSize)
{
    if (maxSize.isEmpty())
        return {};
    // poppler reports every damaged file on stderr; a damaged file simply gets the icon.
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()); });
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked() || document->numPages() < 1)
        return {};
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {};
    const QSizeF points = page->pageSizeF();
    if (points.width() <= 0 || points.height() <= 0)
        return {};
    // Render straight at the resolution that fills the bounds instead of scaling a large bitmap.
    const double scale = std::min(maxSize.width() / points.width(), maxSize.height() / points.height());
    const double dpi = std::clamp(72.0 * scale, 4.0, 600.0);
    QImage image = page->renderToImage(dpi, dpi);
    if (image.isNull())
        return {};
    const QSize size = fitted(image.size(), maxSize);
    return size == image.size() ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage FileThumbnailer::videoFrame(const QString& path, QSize maxSize, double atSeconds)
{
    if (maxSize.isEmpty())
        return {};
    AVFormatContext* rawFormat = nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    if (avformat_open_input(&rawFormat, encoded.constData(), nullptr, nullptr) < 0)
        return {};
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return {};
    const AVCodec* decoder = nullptr;
    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex < 0 || !decoder)
        return {};
    AVStream* stream = format->streams[streamIndex];
    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return {};
    codec->thread_count = 1;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return {};

    // A frame a little way in says more than a black first frame; a player asks for its own
    // position. Seeking lands on the key frame before the target, so frames before it are skipped.
    int64_t wanted = AV_NOPTS_VALUE;
    if (atSeconds > 0 && std::isfinite(atSeconds)) {
        const int64_t target = int64_t(atSeconds * AV_TIME_BASE);
        wanted = av_rescale_q(target, AV_TIME_BASE_Q, stream->time_base);
        if (stream->start_time != AV_NOPTS_VALUE)
            wanted += stream->start_time;
        if (av_seek_frame(format.get(), streamIndex, wanted, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(codec.get());
    } else if (atSeconds < 0 && format->duration > 0) {
        const int64_t target = std::min<int64_t>(format->duration / 10, 3 * int64_t(AV_TIME_BASE));
        const int64_t timestamp = av_rescale_q(target, AV_TIME_BASE_Q, stream->time_base);
        if (av_seek_frame(format.get(), streamIndex, timestamp, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(codec.get());
    }

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame)
        return {};
    bool gotFrame = false;
    bool draining = false;
    for (int count = 0; !gotFrame && count < kMaxPacketsForFrame; ++count) {
        if (!draining) {
            const int read = av_read_frame(format.get(), packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(codec.get(), nullptr);
            } else {
                if (packet->stream_index == streamIndex)
                    avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
            }
        }
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            const int64_t shownAt = frame->best_effort_timestamp;
            // The last frame before the end stands in for a position past it.
            gotFrame = wanted == AV_NOPTS_VALUE || shownAt == AV_NOPTS_VALUE || shownAt >= wanted || draining;
        }
        else if (received == AVERROR_EOF || (draining && received != AVERROR(EAGAIN)))
            break;
    }
    if (!gotFrame || frame->width <= 0 || frame->height <= 0)
        return {};

    const int rotation = displayRotation(stream);
    const QSize bounds = (rotation == 90 || rotation == 270) ? maxSize.transposed() : maxSize;
    QImage image = frameToImage(frame.get(), bounds);
    if (!image.isNull() && rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image;
}

} // namespace vesk
