#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace vesk {

// The one way Vesk decodes picture files: EXIF orientation is applied, large sources are decoded
// straight to a smaller size where the format allows it, HEIC/HEIF goes through libheif and
// everything else through Qt's image plugins (TIFF and WebP included). Safe to call from any
// thread; it never touches a QPixmap.
class ImageLoader {
public:
    // The whole picture, upright. A null image when the file is missing, unreadable, not an
    // image, or too large to decode safely.
    static QImage load(const QString& path);

    // The picture, upright, with its longest side at most `maxDimension` pixels and never
    // enlarged (see targetSize). JPEG sources are decoded at reduced resolution directly.
    static QImage load(const QString& path, int maxDimension);

    // The upright size of the picture without decoding its pixels; invalid when unknown.
    static QSize imageSize(const QString& path);

    // True for the extensions libheif decodes (heic, heif, avif, hif), in any case.
    static bool isHeifPath(const QString& path);

    // The size that fits `source` inside a longest side of `maxDimension`: unchanged when it already
    // fits, else scaled proportionally, each side at least 1. Invalid for a source without a
    // positive size or a maximum below 1.
    static QSize targetSize(QSize source, double maxDimension);

    // Pixels beyond this count are refused instead of decoded (a 200-megapixel picture).
    static constexpr qint64 kMaxPixels = 200'000'000;
};

// The source redrawn so that its longest side is at most `maxDimension`, smoothly filtered; a
// null image for a source without a positive size. Never enlarges.
QImage downscaledImage(const QImage& image, double maxDimension);

// PNG bytes of the image; empty when it cannot be encoded.
QByteArray pngRepresentation(const QImage& image);

} // namespace vesk
