#pragma once

#include <QRgb>

class QImage;

namespace vesk {

// Brightness, contrast and saturation as the editor's sliders set them. Per pixel, with the
// channels r, g, b as fractions 0...1 and Y their Rec. 709 luma (0.2126 r + 0.7152 g + 0.0722 b):
//   1. saturation mixes each channel with the luma:  c1 = Y + (c - Y) * saturation
//   2. brightness is added:                          c2 = c1 + brightness
//   3. contrast stretches about mid-grey:            c3 = (c2 - 0.5) * contrast + 0.5
// and c3 is clamped to 0...1 and rounded to the nearest 8-bit step. Alpha is left alone; the
// colour channels are worked on unpremultiplied. The defaults (0, 1, 1) change nothing.
struct ColourControls {
    double brightness = 0;
    double contrast = 1;
    double saturation = 1;

    bool isIdentity() const { return brightness == 0 && contrast == 1 && saturation == 1; }
    friend bool operator==(const ColourControls&, const ColourControls&) = default;
};

// One pixel through the formula above (its alpha kept).
QRgb adjustedPixel(QRgb pixel, const ColourControls& controls);

// The image with the controls applied; the same image, untouched, for the defaults. The result
// is RGB32 for an opaque source and ARGB32 (unpremultiplied) otherwise. Large pictures are
// worked on in bands on all cores.
QImage applyColourControls(const QImage& image, const ColourControls& controls);

} // namespace vesk
