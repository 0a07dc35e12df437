#include "platform/image/ImageLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QImageWriter>
#include <QImageIOHandler>
#include <cmath>
#include <libheif/heif.h>
#include <memory>
#include <mutex>

namespace vesk {

namespace {

bool rotatesQuarterTurn(QImageIOHandler::Transformations transformation)
{
    return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

void ensureHeifInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct HeifContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeifHandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
using HeifContext = std::unique_ptr<heif_context, HeifContextDeleter>;
using HeifHandle = std::unique_ptr<heif_image_handle, HeifHandleDeleter>;
using HeifImage = std::unique_ptr<heif_image, HeifImageDeleter>;

// Opens the primary image of a HEIF container; both are empty when the file is not one.
std::pair<HeifContext, HeifHandle> openHeif(const QString& path)
{
    ensureHeifInitialised();
    HeifContext context(heif_context_alloc());
    if (!context)
        return {};
    const QByteArray encoded = QFile::encodeName(path);
    if (heif_context_read_from_file(context.get(), encoded.constData(), nullptr).code != heif_error_Ok)
        return {};
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok || !raw)
        return {};
    HeifHandle handle(raw);
    return {std::move(context), std::move(handle)};
}

// libheif applies the container's rotation and mirroring itself, so the result is upright.
QImage loadHeif(const QString& path)
{
    auto [context, handle] = openHeif(path);
    if (!handle)
        return {};
    const qint64 pixels = qint64(heif_image_handle_get_width(handle.get()))
        * heif_image_handle_get_height(handle.get());
    if (pixels <= 0 || pixels > ImageLoader::kMaxPixels)
        return {};

    heif_image* raw = nullptr;
    if (heif_decode_image(handle.get(), &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code
            != heif_error_Ok
        || !raw)
        return {};
    HeifImage decoded(raw);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0)
        return {};
    // The wrapper does not own the plane: copy before the decoded image is released.
    const QImage view(plane, width, height, stride, QImage::Format_RGBA8888);
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle.get());
    return view.convertToFormat(hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

QSize heifSize(const QString& path)
{
    auto [context, handle] = openHeif(path);
    if (!handle)
        return {};
    return {heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get())};
}

void prepareReader(QImageReader& reader)
{
    reader.setAutoTransform(true);
    // Refusal of oversized sources happens against kMaxPixels below; this only lifts Qt's own
    // lower default so that a legitimate 50-megapixel photo still decodes.
    reader.setAllocationLimit(1024);
}

bool isSvgPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("svg") || suffix == QLatin1String("svgz");
}

// A drawing has no pixels of its own: it is drawn at the size asked for, larger than its
// nominal size too, so that a small icon still makes a sharp thumbnail.
QImage renderSvg(const QString& path, int maxDimension)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QSizeF size = renderer.defaultSize();
    if (size.isEmpty())
        size = renderer.viewBoxF().size();
    if (size.isEmpty())
        return {};
    if (maxDimension > 0)
        size.scale(maxDimension, maxDimension, Qt::KeepAspectRatio);
    const QSize pixels(std::max(1, int(std::lround(size.width()))), std::max(1, int(std::lround(size.height()))));
    if (qint64(pixels.width()) * pixels.height() > ImageLoader::kMaxPixels)
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return image;
}

QImage readWithQt(const QString& path, int maxDimension)
{
    QImageReader reader(path);
    prepareReader(reader);
    const QSize raw = reader.size();
    if (raw.isValid() && qint64(raw.width()) * raw.height() > ImageLoader::kMaxPixels)
        return {};
    if (maxDimension > 0 && raw.isValid()) {
        // The longest side does not change under a quarter turn, so the target can be computed on
        // the stored orientation, which is what the scaled decode works in.
        const QSize target = ImageLoader::targetSize(raw, maxDimension);
        if (target.isValid() && target != raw)
            reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (maxDimension > 0)
        image = downscaledImage(image, maxDimension);
    return image;
}

} // namespace

bool ImageLoader::isHeifPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("heic") || suffix == QLatin1String("heif") || suffix == QLatin1String("hif")
        || suffix == QLatin1String("avif");
}

QSize ImageLoader::targetSize(QSize source, double maxDimension)
{
    if (source.width() <= 0 || source.height() <= 0 || !(maxDimension >= 1.0))
        return {};
    const double longest = std::max(source.width(), source.height());
    const double scale = maxDimension / longest;
    if (scale >= 1.0)
        return source;
    const int width = std::max(1, int(std::lround(source.width() * scale)));
    const int height = std::max(1, int(std::lround(source.height() * scale)));
    return {width, height};
}

QImage ImageLoader::load(const QString& path)
{
    return load(path, 0);
}

QImage ImageLoader::load(const QString& path, int maxDimension)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    if (isHeifPath(path)) {
        QImage image = loadHeif(path);
        // A misnamed file (a JPEG called .heic) still opens through the ordinary route.
        if (image.isNull())
            return readWithQt(path, maxDimension);
        return maxDimension > 0 ? downscaledImage(image, maxDimension) : image;
    }
    if (isSvgPath(path))
        return renderSvg(path, maxDimension);
    return readWithQt(path, maxDimension);
}

QSize ImageLoader::imageSize(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    if (isHeifPath(path)) {
        if (const QSize size = heifSize(path); size.isValid())
            return size;
    }
    if (isSvgPath(path)) {
        const QSvgRenderer renderer(path);
        return renderer.isValid() ? renderer.defaultSize() : QSize();
    }
    QImageReader reader(path);
    prepareReader(reader);
    QSize size = reader.size();
    if (size.isValid() && rotatesQuarterTurn(reader.transformation()))
        size.transpose();
    return size;
}

QImage downscaledImage(const QImage& image, double maxDimension)
{
    const QSize target = ImageLoader::targetSize(image.size(), maxDimension);
    if (!target.isValid())
        return {};
    if (target == image.size())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray pngRepresentation(const QImage& image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Cache files favour encoding speed over the last few percent of size (quality 60 is zlib
    // level 3 in Qt's PNG writer).
    writer.setQuality(60);
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace vesk
