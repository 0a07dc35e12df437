#pragma once

#include "editor/ColourControls.h"
#include "editor/VeskMarkupElement.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <optional>

namespace vesk {

// The crop as fractions cut from each side: left and right of the turned picture's width, top
// and bottom of its height. All 0 is no crop.
struct CropInsets {
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;

    bool isZero() const { return left == 0 && right == 0 && top == 0 && bottom == 0; }
    friend bool operator==(const CropInsets&, const CropInsets&) = default;
};

// Everything the editor changes about a picture. The source file itself is never changed.
struct EditSettings {
    ColourControls colour;
    // Clockwise quarter turns as seen; any integer, taken modulo 4 (-1 is 3).
    int quarterTurns = 0;
    // Mirrors left to right as seen, after the turns.
    bool flippedHorizontally = false;
    CropInsets crop;
    // Stamped into the cropped picture, in list order.
    QList<VeskMarkupElement> markup;

    friend bool operator==(const EditSettings&, const EditSettings&) = default;
};

// 0...3 for any integer: the low two bits, so -1 gives 3 and 4 gives 0.
int normalizedQuarterTurns(int quarterTurns);

// The picture mirrored left to right when asked, then turned clockwise by quarter turns.
QImage orientedImage(const QImage& image, int quarterTurns, bool flippedHorizontally);

// The pixels a crop keeps of a picture of `size`: at least 1 by 1, always inside the picture.
// Insets summing to 1 or more on an axis keep 1 pixel on it.
QRect cropPixelRect(QSize size, const CropInsets& crop);

// The whole edit of an upright source: turns, mirror, crop, colour, then the markup. A null image
// for a null source.
QImage renderEditedImage(const QImage& source, const EditSettings& settings);

// The same without the markup: the picture the markup is drawn on.
QImage renderAdjustedImage(const QImage& source, const EditSettings& settings);

// The picture under the crop overlay: mirrored, turned and colour-adjusted but not cropped, with
// the markup stamped inside the crop's rectangle exactly as the saved picture will carry it.
QImage renderUncroppedImage(const QImage& source, const EditSettings& settings);

// A saved edit's bytes and its file extension without the dot.
struct EncodedImage {
    QByteArray data;
    QString extension;

    friend bool operator==(const EncodedImage&, const EncodedImage&) = default;
};

// True when an edit of this source is saved as JPEG: jpg, jpeg, heic and heif, in any case.
bool encodesAsJpeg(const QString& sourcePath);

inline constexpr int kEditedJpegQuality = 92;

// JPEG at quality 0.92 ("jpg") for a JPEG or HEIC/HEIF source, PNG ("png") for any other; none
// when the picture is null or cannot be encoded.
std::optional<EncodedImage> encodeEditedImage(const QImage& rendered, const QString& sourcePath);

// The whole road from the file: load upright, render, encode. None when the file cannot be read.
std::optional<EncodedImage> editedImageFile(const QString& sourcePath, const EditSettings& settings);

// The largest rectangle of the picture's aspect that fits the container less `padding` on every
// side, centred in the whole container; empty when any size is not positive.
QRectF aspectFitRect(double imageWidth, double imageHeight, double containerWidth, double containerHeight,
                     double padding);

} // namespace vesk
