#include "editor/EditPipeline.h"

#include "editor/MarkupPainting.h"
#include "platform/image/ImageLoader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

// Opaque pictures are worked on as RGB32 and the rest as unpremultiplied ARGB32, so the colour
// step sees true channel values and the encoders get what they expect.
QImage workingFormat(const QImage& image)
{
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    return image.format() == format ? image : image.convertToFormat(format);
}

QImage cropped(const QImage& image, const CropInsets& crop)
{
    const QRect rect = cropPixelRect(image.size(), crop);
    return rect == image.rect() ? image : image.copy(rect);
}

int insetPixels(double length, double fraction)
{
    return int(std::lround(length * fraction));
}

} // namespace

int normalizedQuarterTurns(int quarterTurns)
{
    return quarterTurns & 3;
}

QImage orientedImage(const QImage& image, int quarterTurns, bool flippedHorizontally)
{
    // The mirror comes first, so that the turns are as seen whether or not the picture is mirrored:
    // "Right" turns a mirrored picture clockwise too.
    QImage result = flippedHorizontally ? image.mirrored(true, false) : image;
    const int turns = normalizedQuarterTurns(quarterTurns);
    if (turns == 2)
        result = result.mirrored(true, true);
    else if (turns != 0)
        // Qt's rotate(90) is an exact quarter turn clockwise on a y-down picture; transformed()
        // moves whole pixels for it.
        result = result.transformed(QTransform().rotate(90.0 * turns));
    return result;
}

QRect cropPixelRect(QSize size, const CropInsets& crop)
{
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0)
        return {};
    const int x = std::clamp(insetPixels(w, crop.left), 0, w - 1);
    const int y = std::clamp(insetPixels(h, crop.top), 0, h - 1);
    const int width = std::clamp(w - insetPixels(w, crop.left) - insetPixels(w, crop.right), 1, w - x);
    const int height = std::clamp(h - insetPixels(h, crop.top) - insetPixels(h, crop.bottom), 1, h - y);
    return QRect(x, y, width, height);
}

QImage renderAdjustedImage(const QImage& source, const EditSettings& settings)
{
    if (source.isNull())
        return {};
    QImage image = orientedImage(workingFormat(source), settings.quarterTurns, settings.flippedHorizontally);
    image = cropped(image, settings.crop);
    return applyColourControls(image, settings.colour);
}

QImage renderEditedImage(const QImage& source, const EditSettings& settings)
{
    QImage image = renderAdjustedImage(source, settings);
    stampMarkup(image, settings.markup);
    return image;
}

QImage renderUncroppedImage(const QImage& source, const EditSettings& settings)
{
    if (source.isNull())
        return {};
    QImage image = orientedImage(workingFormat(source), settings.quarterTurns, settings.flippedHorizontally);
    image = applyColourControls(image, settings.colour);
    stampMarkup(image, settings.markup, cropPixelRect(image.size(), settings.crop));
    return image;
}

bool encodesAsJpeg(const QString& sourcePath)
{
    const QString suffix = QFileInfo(sourcePath).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") || suffix == QLatin1String("heic")
        || suffix == QLatin1String("heif");
}

std::optional<EncodedImage> encodeEditedImage(const QImage& rendered, const QString& sourcePath)
{
    if (rendered.isNull())
        return std::nullopt;
    const bool jpeg = encodesAsJpeg(sourcePath);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, jpeg ? "jpeg" : "png");
    bool written = false;
    if (jpeg) {
        writer.setQuality(kEditedJpegQuality);
        written = writer.write(rendered.hasAlphaChannel() ? rendered.convertToFormat(QImage::Format_RGB32) : rendered);
    } else {
        written = writer.write(rendered);
    }
    if (!written || bytes.isEmpty())
        return std::nullopt;
    return EncodedImage{bytes, QString::fromLatin1(jpeg ? "jpg" : "png")};
}

std::optional<EncodedImage> editedImageFile(const QString& sourcePath, const EditSettings& settings)
{
    if (sourcePath.isEmpty())
        return std::nullopt;
    const QImage source = ImageLoader::load(sourcePath);
    if (source.isNull())
        return std::nullopt;
    return encodeEditedImage(renderEditedImage(source, settings), sourcePath);
}

QRectF aspectFitRect(double imageWidth, double imageHeight, double containerWidth, double containerHeight,
                     double padding)
{
    if (!(imageWidth > 0) || !(imageHeight > 0) || !(containerWidth > 0) || !(containerHeight > 0))
        return QRectF(0, 0, 0, 0);
    const double availableWidth = std::max(containerWidth - 2 * padding, 1.0);
    const double availableHeight = std::max(containerHeight - 2 * padding, 1.0);
    const double scale = std::min(availableWidth / imageWidth, availableHeight / imageHeight);
    const double width = imageWidth * scale;
    const double height = imageHeight * scale;
    return QRectF((containerWidth - width) / 2, (containerHeight - height) / 2, width, height);
}

} // namespace vesk
