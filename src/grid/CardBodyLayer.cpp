#include "grid/CardBodyLayer.h"

#include "platform/ui/Painting.h"

#include <QCache>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <memory>
#include <mutex>
#include <vector>

namespace vesk {

namespace {

struct LayerKey {
    QSize pixels;
    qreal ratio;
    QRectF card;
    double cornerRadius;
    QRgb fill, accentTint, hoverTint, border;
    double borderWidth;

    static LayerKey of(const CardBodyLayerLook& look)
    {
        return {look.pixels, look.ratio, look.card, look.cornerRadius, look.fill.rgba(), look.accentTint.rgba(),
                look.hoverTint.rgba(), look.border.rgba(), look.borderWidth};
    }
    friend bool operator==(const LayerKey&, const LayerKey&) = default;
};

size_t qHash(const LayerKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.pixels.width(), key.pixels.height(), key.ratio, key.card.x(), key.card.y(),
                      key.card.width(), key.card.height(), key.cornerRadius, key.fill, key.accentTint, key.hoverTint,
                      key.border, key.borderWidth);
}

// A pixel of the body image, by its offset in words from the image's first, with what is
// applied to it there. Every body of one look has the same size and format, so the same
// scan-line stride.
struct CutPixel {
    int index;
    uint alpha; // how much of the body is cut away, 0–255
};
struct BorderPixel {
    int index;
    QRgb colour; // premultiplied
};

struct Layer {
    QImage background;
    int stride = 0;
    std::vector<CutPixel> cut;
    std::vector<BorderPixel> border;
};

QImage blankImage(const CardBodyLayerLook& look)
{
    QImage image(look.pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(look.ratio);
    image.fill(Qt::transparent);
    return image;
}

std::unique_ptr<QPainter> antialiasedPainter(QImage& image)
{
    auto painter = std::make_unique<QPainter>(&image);
    painter->setRenderHint(QPainter::Antialiasing);
    return painter;
}

std::shared_ptr<const Layer> makeLayer(const CardBodyLayerLook& look)
{
    auto layer = std::make_shared<Layer>();
    const QPainterPath shape = Painting::roundedRect(look.card, look.cornerRadius);

    layer->background = blankImage(look);
    CardBodyLayer::paintBackground(*antialiasedPainter(layer->background), shape, look);

    QImage outside = blankImage(look);
    {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.addRect(look.card.adjusted(-1, -1, 1, 1));
        path.addPath(shape);
        antialiasedPainter(outside)->fillPath(path, Qt::black);
    }
    QImage stroke = blankImage(look);
    antialiasedPainter(stroke)->strokePath(shape, CardBodyLayer::borderPen(look));
    layer->stride = int(outside.bytesPerLine() / sizeof(QRgb));
    for (int y = 0; y < look.pixels.height(); ++y) {
        const auto* cutLine = reinterpret_cast<const QRgb*>(outside.constScanLine(y));
        const auto* borderLine = reinterpret_cast<const QRgb*>(stroke.constScanLine(y));
        for (int x = 0; x < look.pixels.width(); ++x) {
            if (const uint alpha = qAlpha(cutLine[x]))
                layer->cut.push_back({y * layer->stride + x, alpha});
            if (borderLine[x] != 0)
                layer->border.push_back({y * layer->stride + x, borderLine[x]});
        }
    }
    return layer;
}

std::shared_ptr<const Layer> layerFor(const CardBodyLayerLook& look)
{
    // A few sizes and looks are in use at a time, but a card on its way between two looks, or a
    // window being resized, walks through many: the least recently used go first.
    // Never destroyed: a pool thread may still be drawing a body while the process exits.
    static auto* const mutex = new std::mutex;
    static auto* const layers = new QCache<LayerKey, std::shared_ptr<const Layer>>(12 * 1024); // kilobytes
    const LayerKey key = LayerKey::of(look);
    {
        const std::lock_guard lock(*mutex);
        if (const std::shared_ptr<const Layer>* found = layers->object(key))
            return *found;
    }
    // Made outside the lock: two threads asking at once for a new look both make it, and
    // neither waits for the other.
    std::shared_ptr<const Layer> layer = makeLayer(look);
    const qsizetype bytes = layer->background.sizeInBytes()
        + qsizetype(layer->cut.size() * sizeof(CutPixel) + layer->border.size() * sizeof(BorderPixel));
    const std::lock_guard lock(*mutex);
    layers->insert(key, new std::shared_ptr<const Layer>(layer), std::max<qsizetype>(1, bytes / 1024));
    return layer;
}

// x · a / 255 for each byte of a premultiplied pixel, rounded as the raster engine does.
inline QRgb byteMultiply(QRgb x, uint a)
{
    quint64 t = (((quint64(x)) | ((quint64(x)) << 24)) & 0x00ff00ff00ff00ff) * a;
    t = (t + ((t >> 8) & 0x00ff00ff00ff00ff) + 0x0080008000800080) >> 8;
    t &= 0x00ff00ff00ff00ff;
    return QRgb(t | (t >> 24));
}

} // namespace

void CardBodyLayer::paintBackground(QPainter& painter, const QPainterPath& shape, const CardBodyLayerLook& look)
{
    painter.fillPath(shape, look.fill);
    for (const QColor& tint : {look.accentTint, look.hoverTint}) {
        if (tint.alpha() > 0)
            painter.fillPath(shape, tint);
    }
}

QPen CardBodyLayer::borderPen(const CardBodyLayerLook& look)
{
    QPen pen(look.border, look.borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

QImage CardBodyLayer::canvas(const CardBodyLayerLook& look)
{
    QImage image = layerFor(look)->background;
    image.detach();
    return image;
}

void CardBodyLayer::finishEdges(QImage& body, const CardBodyLayerLook& look)
{
    const std::shared_ptr<const Layer> layer = layerFor(look);
    if (body.size() != look.pixels || body.format() != QImage::Format_ARGB32_Premultiplied
        || body.bytesPerLine() != qsizetype(layer->stride * sizeof(QRgb))) {
        Q_ASSERT_X(false, "CardBodyLayer::finishEdges", "a body of another size or format");
        return;
    }
    auto* pixels = reinterpret_cast<QRgb*>(body.bits());
    for (const CutPixel& cut : layer->cut)
        pixels[cut.index] = byteMultiply(pixels[cut.index], 255 - cut.alpha);
    for (const BorderPixel& border : layer->border) {
        QRgb& pixel = pixels[border.index];
        pixel = border.colour + byteMultiply(pixel, 255 - qAlpha(border.colour));
    }
}

} // namespace vesk
