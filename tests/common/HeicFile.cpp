#include "common/HeicFile.h"

#include <QFile>
#include <libheif/heif.h>

namespace vesk::test {

bool writeHeic(const QString& path, const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const int width = source.width();
    const int height = source.height();
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code != heif_error_Ok) {
        heif_context_free(context);
        return false;
    }
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = source.pixel(x, y);
            uint8_t* out = plane + y * stride + x * 3;
            out[0] = uint8_t(qRed(pixel));
            out[1] = uint8_t(qGreen(pixel));
            out[2] = uint8_t(qBlue(pixel));
        }
    }
    const bool encoded = heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok;
    const bool written = encoded
        && heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return written;
}

} // namespace vesk::test
