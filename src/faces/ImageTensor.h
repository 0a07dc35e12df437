#pragma once

#include "platform/nn/Tensor.h"

#include <QImage>

namespace vesk {

// How pixel values enter a model.
struct PixelScale {
    float scale = 1.0f;
    float offset = 0.0f; // value = channel (0..255) * scale + offset
};

// The image smoothly resized to exactly `size` x `size` (stretched) as a [1, size, size, 3] RGB
// tensor.
nn::Tensor stretchedTensor(const QImage& image, int size, PixelScale pixels);

// The image scaled to fit a `size` x `size` square, placed at its top left, the rest black (0 on
// the 0..255 scale); `scale` receives model pixels per image pixel.
nn::Tensor letterboxedTensor(const QImage& image, int size, PixelScale pixels, double* scale);

} // namespace vesk
