#include "faces/ImageTensor.h"

#include <QPainter>
#include <algorithm>

namespace vesk {

namespace {

nn::Tensor toTensor(const QImage& rgb, PixelScale pixels)
{
    const int width = rgb.width();
    const int height = rgb.height();
    nn::Tensor tensor = nn::Tensor::uninitialised(nn::DType::Float32, {1, height, width, 3});
    float* out = tensor.f.data();
    for (int y = 0; y < height; ++y) {
        const uchar* line = rgb.constScanLine(y);
        for (int k = 0; k < width * 3; ++k)
            *out++ = float(line[k]) * pixels.scale + pixels.offset;
    }
    return tensor;
}

} // namespace

nn::Tensor stretchedTensor(const QImage& image, int size, PixelScale pixels)
{
    const QImage scaled = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB888);
    return toTensor(scaled, pixels);
}

nn::Tensor letterboxedTensor(const QImage& image, int size, PixelScale pixels, double* scale)
{
    // Small pictures are not enlarged: blown-up pixels make the models see things.
    const double factor = std::min(1.0, double(size) / double(std::max(image.width(), image.height())));
    const int width = std::clamp(int(image.width() * factor + 0.5), 1, size);
    const int height = std::clamp(int(image.height() * factor + 0.5), 1, size);
    QImage canvas(size, size, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        painter.drawImage(QPoint(0, 0), image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    if (scale)
        *scale = factor;
    return toTensor(canvas, pixels);
}

} // namespace vesk
