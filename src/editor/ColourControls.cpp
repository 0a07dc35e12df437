#include "editor/ColourControls.h"

#include "platform/WorkPools.h"

#include <QImage>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace vesk {

namespace {

constexpr double kLumaRed = 0.2126;
constexpr double kLumaGreen = 0.7152;
constexpr double kLumaBlue = 0.0722;
// Below this many pixels the bands are not worth the threads.
constexpr qsizetype kParallelPixelThreshold = 512 * 512;
constexpr int kBandRows = 64;

// The whole formula is affine in (r, g, b): out = M · rgb + offset, in 0...255 units. Building
// it once per image keeps the per-pixel work to nine multiplies.
struct ColourMatrix {
    float m[3][3];
    float offset;

    explicit ColourMatrix(const ColourControls& c)
    {
        const double s = c.saturation;
        const double luma[3] = {kLumaRed, kLumaGreen, kLumaBlue};
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const double saturated = (row == column ? s : 0.0) + (1.0 - s) * luma[column];
                m[row][column] = float(saturated * c.contrast);
            }
        }
        offset = float(255.0 * ((c.brightness - 0.5) * c.contrast + 0.5));
    }

    static int channel(float value)
    {
        // lround's half-away-from-zero, written out so the loop stays branch-light.
        const float clamped = std::clamp(value, 0.0f, 255.0f);
        return int(clamped + 0.5f);
    }

    QRgb apply(QRgb pixel) const
    {
        const float r = float(qRed(pixel));
        const float g = float(qGreen(pixel));
        const float b = float(qBlue(pixel));
        return qRgba(channel(m[0][0] * r + m[0][1] * g + m[0][2] * b + offset),
                     channel(m[1][0] * r + m[1][1] * g + m[1][2] * b + offset),
                     channel(m[2][0] * r + m[2][1] * g + m[2][2] * b + offset), qAlpha(pixel));
    }
};

void applyRows(uchar* bits, qsizetype bytesPerLine, int width, const ColourMatrix& matrix, int firstRow, int endRow)
{
    for (int y = firstRow; y < endRow; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * bytesPerLine);
        for (int x = 0; x < width; ++x)
            line[x] = matrix.apply(line[x]);
    }
}

} // namespace

QRgb adjustedPixel(QRgb pixel, const ColourControls& controls)
{
    return ColourMatrix(controls).apply(pixel);
}

QImage applyColourControls(const QImage& image, const ColourControls& controls)
{
    if (image.isNull() || controls.isIdentity())
        return image;
    QImage result = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const ColourMatrix matrix(controls);
    const int height = result.height();
    const int width = result.width();
    // Taken once: scanLine() on the image from several threads would race on its detach count.
    uchar* bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();
    if (qsizetype(width) * height < kParallelPixelThreshold) {
        applyRows(bits, bytesPerLine, width, matrix, 0, height);
        return result;
    }
    std::vector<int> bands((height + kBandRows - 1) / kBandRows);
    std::iota(bands.begin(), bands.end(), 0);
    QtConcurrent::blockingMap(WorkPools::shared().parallel(), bands, [&](int band) {
        const int first = band * kBandRows;
        applyRows(bits, bytesPerLine, width, matrix, first, std::min(first + kBandRows, height));
    });
    return result;
}

} // namespace vesk
