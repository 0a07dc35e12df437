#include "platform/ui/Painting.h"

#include <QCache>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <algorithm>
#include <array>
#include <type_traits>
#include <cmath>

namespace vesk::Painting {

namespace {

// How far before the corner the curve starts, relative to the radius: the corner then reaches
// full curvature gradually instead of at a tangent point. The curve passes through the same
// diagonal point as a circular arc of the radius, as two cubic halves with matching tangents.
constexpr qreal kCornerExtent = 1.528665;
constexpr qreal kEdgeHandle = 0.62;    // along the edge, as a fraction of the extent
constexpr qreal kDiagonalHandle = 0.1; // across the diagonal, as a fraction of the extent

void addContinuousCorner(QPainterPath& path, QPointF corner, QPointF alongIn, QPointF alongOut, qreal extent)
{
    // alongIn: unit vector from the corner back along the incoming edge;
    // alongOut: unit vector from the corner along the outgoing edge.
    const QPointF start = corner + alongIn * extent;
    const QPointF end = corner + alongOut * extent;
    if (path.currentPosition() != start)
        path.lineTo(start);
    const qreal radius = extent / kCornerExtent;
    const QPointF mid = corner + (alongIn + alongOut) * (radius * (1.0 - M_SQRT1_2));
    const QPointF across = (alongOut - alongIn) * (extent * kDiagonalHandle);
    path.cubicTo(corner + alongIn * (extent * kEdgeHandle), mid - across, mid);
    path.cubicTo(mid + across, corner + alongOut * (extent * kEdgeHandle), end);
}

// Appends value's bytes to a cache key as they are: keys made for every box painted are only
// hashed and compared, and formatting numbers into them cost more than the blits they find.
template <typename T>
void appendRaw(QString& key, const T& value)
{
    static_assert(sizeof(T) % sizeof(QChar) == 0 && std::is_trivially_copyable_v<T>);
    key.append(reinterpret_cast<const QChar*>(&value), qsizetype(sizeof(T) / sizeof(QChar)));
}

} // namespace

QPainterPath roundedRect(const QRectF& rect, qreal radius, bool continuousCorners)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    if (r.isEmpty())
        return path;
    const qreal half = std::min(r.width(), r.height()) / 2.0;
    radius = std::clamp(radius, 0.0, half);
    if (radius <= 0.0) {
        path.addRect(r);
        return path;
    }
    if (!continuousCorners) {
        path.addRoundedRect(r, radius, radius);
        return path;
    }
    const qreal extent = std::min(radius * kCornerExtent, half);
    const QPointF left(-1, 0), right(1, 0), up(0, -1), down(0, 1);
    path.moveTo(r.left() + extent, r.top());
    addContinuousCorner(path, r.topRight(), left, down, extent);
    addContinuousCorner(path, r.bottomRight(), up, left, extent);
    addContinuousCorner(path, r.bottomLeft(), right, up, extent);
    addContinuousCorner(path, r.topLeft(), down, right, extent);
    path.closeSubpath();
    return path;
}

QPainterPath capsule(const QRectF& rect)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    const qreal radius = std::min(r.width(), r.height()) / 2.0;
    path.addRoundedRect(r, radius, radius);
    return path;
}

void blurImage(QImage& image, qreal radius)
{
    if (radius < 0.5 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    // Box width for three passes to approximate a Gaussian of sigma = radius / 2.
    const qreal sigma = radius / 2.0;
    const int box = std::max(1, int(std::lround(std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0))));
    const int halfBox = box / 2;
    std::vector<quint32> line(std::max(w, h));
    // The pixels are reached through one pointer: asking the image for each scan line costs more
    // than the blur itself (shadows are blurred while the window paints).
    QRgb* const pixels = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    const int window = 2 * halfBox + 1;
    auto pass = [&](bool horizontal) {
        const int length = horizontal ? w : h;
        const int lines = horizontal ? h : w;
        const qsizetype step = horizontal ? 1 : stride;
        for (int l = 0; l < lines; ++l) {
            QRgb* const first = pixels + (horizontal ? qsizetype(l) * stride : qsizetype(l));
            for (int i = 0; i < length; ++i)
                line[i] = first[qsizetype(i) * step];
            int sum[4] = {0, 0, 0, 0};
            auto add = [&](int i, int sign) {
                if (i < 0 || i >= length)
                    return;
                const quint32 p = line[i];
                sum[0] += sign * int(qAlpha(p));
                sum[1] += sign * int(qRed(p));
                sum[2] += sign * int(qGreen(p));
                sum[3] += sign * int(qBlue(p));
            };
            for (int i = -halfBox; i <= halfBox; ++i)
                add(i, 1);
            for (int i = 0; i < length; ++i) {
                first[qsizetype(i) * step] = qRgba(sum[1] / window, sum[2] / window, sum[3] / window, sum[0] / window);
                add(i - halfBox, -1);
                add(i + halfBox + 1, 1);
            }
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
}

void drawSoftShadow(QPainter& painter, const QPainterPath& path, const QColor& color, qreal radius,
                    QPointF offset)
{
    if (path.isEmpty() || color.alpha() == 0)
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF bounds = path.boundingRect();
    const qreal margin = std::ceil(radius * 2.0 + 2.0);
    const QSize size(int(std::ceil((bounds.width() + 2 * margin) * ratio)),
                     int(std::ceil((bounds.height() + 2 * margin) * ratio)));
    if (size.width() <= 0 || size.height() <= 0 || size.width() > 8192 || size.height() > 8192)
        return;

    // Same shape at the same size: reuse the blurred silhouette.
    const QString key = QStringLiteral("vesk-shadow:%1:%2:%3:%4:%5:%6")
                            .arg(size.width()).arg(size.height()).arg(radius)
                            .arg(color.rgba(), 0, 16).arg(path.elementCount())
                            .arg(qHash(QByteArray::number(path.length(), 'f', 2)));
    QPixmap shadow;
    if (!QPixmapCache::find(key, &shadow)) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(ratio, ratio);
            p.translate(margin - bounds.left(), margin - bounds.top());
            p.fillPath(path, color);
        }
        blurImage(image, radius * ratio);
        shadow = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(key, shadow);
    }
    shadow.setDevicePixelRatio(ratio);
    painter.drawPixmap(bounds.topLeft() + offset - QPointF(margin, margin), shadow);
}

void fillMaterial(QPainter& painter, const QPainterPath& path, MaterialThickness thickness, const Theme& theme)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, theme.material(thickness));
    painter.setPen(QPen(theme.isDark() ? Theme::white(0.08) : Theme::black(0.06), 0.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void fillGlass(QPainter& painter, const QPainterPath& path, const Theme& theme)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, theme.material(MaterialThickness::Regular));
    const QRectF bounds = path.boundingRect();
    QLinearGradient sheen(bounds.topLeft(), bounds.bottomLeft());
    sheen.setColorAt(0.0, Theme::white(theme.isDark() ? 0.10 : 0.45));
    sheen.setColorAt(0.5, Theme::white(0.0));
    painter.fillPath(path, sheen);
    painter.setPen(QPen(theme.isDark() ? Theme::white(0.14) : Theme::black(0.08), 0.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void strokeDashed(QPainter& painter, const QPainterPath& path, const QColor& color, qreal lineWidth,
                  const QVector<qreal>& dashPattern, qreal dashPhase)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    // QPen measures dashes in units of the line width; the design gives them in points.
    QVector<qreal> pattern;
    pattern.reserve(dashPattern.size());
    for (qreal v : dashPattern)
        pattern << std::max<qreal>(v, 0.01) / std::max<qreal>(lineWidth, 0.01);
    if (pattern.size() % 2)
        pattern << pattern.last();
    pen.setDashPattern(pattern);
    pen.setDashOffset(dashPhase / std::max<qreal>(lineWidth, 0.01));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void stroke(QPainter& painter, const QPainterPath& path, const QColor& color, qreal lineWidth)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

int roundedRectCorner(qreal radius, qreal inset, qreal lineWidth)
{
    // Past the corner's curve the outline runs straight; a pixel more for its antialiased edge.
    return int(std::ceil(inset + radius * kCornerExtent + lineWidth / 2)) + 1;
}

void drawFramedBox(QPainter& painter, const QRect& rect, qreal radius, qreal inset, qreal lineWidth,
                   const QColor& fill, const QColor& outline, const QString& name)
{
    QString key = name;
    key.reserve(name.size() + 20);
    key.append(QLatin1Char(':'));
    appendRaw(key, std::array<float, 3>{float(radius), float(inset), float(lineWidth)});
    appendRaw(key, std::array<QRgb, 2>{fill.rgba(), outline.rgba()});
    drawCornered(painter, rect, roundedRectCorner(radius, inset, lineWidth), fill, key,
        [=](QPainter& p, const QRectF& box) {
            p.setRenderHint(QPainter::Antialiasing);
            const QPainterPath shape = roundedRect(box.adjusted(inset, inset, -inset, -inset), radius);
            if (fill.alpha() > 0)
                p.fillPath(shape, fill);
            if (outline.alpha() > 0)
                stroke(p, shape, outline, lineWidth);
        });
}

namespace {

// The whole scale at which painter lands on whole device pixels (no rotation, no fraction of a
// pixel in its offset), or 0: pieces painted apart then line up with what is painted in place.
int wholePixelScale(const QPainter& painter)
{
    const QTransform device = painter.deviceTransform();
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int scale = int(std::lround(ratio));
    const auto whole = [](qreal value) { return std::abs(value - std::round(value)) < 1e-9; };
    const bool aligned = scale >= 1 && whole(ratio) && device.type() <= QTransform::TxScale
        && device.m11() == ratio && device.m22() == ratio && whole(device.dx()) && whole(device.dy());
    return aligned ? scale : 0;
}

// At most this many pixels a shape is kept whole: one blit is the cheapest way to paint it, and
// the rows of a list share one size.
constexpr int kWholeArea = 64 * 1024;
// The length of the straight run kept between a shape's corners, drawn as often as an edge needs.
constexpr int kRun = 64;

// A cached rendering of paint over a rect of size, at scale.
QPixmap renderedPieces(const QSize& size, int scale, const QString& key,
                       const std::function<void(QPainter&, const QRectF&)>& paint)
{
    QPixmap pieces;
    if (QPixmapCache::find(key, &pieces))
        return pieces;
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    {
        QPainter p(&image);
        paint(p, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    pieces = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, pieces);
    return pieces;
}

} // namespace

void drawCornered(QPainter& painter, const QRect& rect, int corner, const QColor& middle, const QString& key,
                  const std::function<void(QPainter&, const QRectF&)>& paint)
{
    if (rect.isEmpty())
        return;
    // Pieces land on whole device pixels only under a whole scale and a whole offset.
    const int scale = wholePixelScale(painter);
    const bool aligned = scale >= 1;
    const int span = 2 * corner + kRun;
    const bool stretchX = rect.width() > span;
    const bool stretchY = rect.height() > span;
    if (!aligned || corner < 1) {
        paint(painter, QRectF(rect));
        return;
    }
    const bool keptWhole = (!stretchX && !stretchY) || rect.width() * rect.height() <= kWholeArea;
    const QSize size = keptWhole ? rect.size() : QSize(stretchX ? span : rect.width(), stretchY ? span : rect.height());
    QString piecesKey = QStringLiteral("vesk-cornered:");
    piecesKey.reserve(piecesKey.size() + 8 + key.size());
    appendRaw(piecesKey, std::array<qint32, 4>{scale, size.width(), size.height(), keptWhole ? -1 : corner});
    piecesKey.append(key);
    if (keptWhole) {
        painter.drawPixmap(rect.topLeft(), renderedPieces(size, scale, piecesKey, paint));
        return;
    }
    const QPixmap pieces = renderedPieces(size, scale, piecesKey, paint);
    // Columns and rows in points: the leading corner, the straight run between the corners drawn
    // as often as the middle needs, and the trailing corner; a dimension not stretched is whole.
    struct Band {
        int target;
        int length;
        int source;
        int sourceLength; // in points; the run repeats, the corners do not
    };
    const auto bands = [&](int origin, int length, bool stretch) {
        QVector<Band> out;
        if (!stretch) {
            out.append({origin, length, 0, length});
            return out;
        }
        out.append({origin, corner, 0, corner});
        out.append({origin + corner, length - 2 * corner, corner, kRun});
        out.append({origin + length - corner, corner, corner + kRun, corner});
        return out;
    };
    const QVector<Band> columns = bands(rect.x(), rect.width(), stretchX);
    const QVector<Band> rows = bands(rect.y(), rect.height(), stretchY);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < columns.size(); ++c) {
            const Band& row = rows[r];
            const Band& column = columns[c];
            // The middle is a plain fill, as the shape's own.
            if (r == 1 && c == 1) {
                if (middle.alpha() > 0)
                    fillInRowBands(painter, QRect(column.target, row.target, column.length, row.length), middle);
                continue;
            }
            for (int y = 0; y < row.length; y += row.sourceLength) {
                const int height = std::min(row.sourceLength, row.length - y);
                for (int x = 0; x < column.length; x += column.sourceLength) {
                    const int width = std::min(column.sourceLength, column.length - x);
                    painter.drawPixmap(QRectF(column.target + x, row.target + y, width, height), pieces,
                        QRectF(column.source * scale, row.source * scale, width * scale, height * scale));
                }
            }
        }
    }
}

namespace {

// The raster engine fills up to this many rows on the calling thread (a fill of fewer than 96
// spans is not split); a band is a whole number of points.
int rowBand(const QPainter& painter)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    return std::max(8, int(64 / std::ceil(ratio)));
}

} // namespace

void fillInRowBands(QPainter& painter, const QRect& rect, const QColor& colour)
{
    const int band = rowBand(painter);
    // Bands that meet on whole device pixels only: anywhere else their shared rows would be
    // blended twice.
    if (colour.alpha() == 255 || rect.height() <= band || wholePixelScale(painter) < 1) {
        painter.fillRect(rect, colour);
        return;
    }
    for (int y = rect.top(); y <= rect.bottom(); y += band)
        painter.fillRect(QRect(rect.left(), y, rect.width(), std::min(band, rect.bottom() + 1 - y)), colour);
}

void drawInRowBands(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw)
{
    const QTransform world = painter.worldTransform();
    const int band = rowBand(painter);
    const QRect area = world.mapRect(bounds).toAlignedRect();
    // Moved only, a picture is copied row by row on the calling thread anyway.
    if (world.type() != QTransform::TxScale || area.height() <= band) {
        draw(painter);
        return;
    }
    for (int y = area.top(); y < area.top() + area.height(); y += band) {
        painter.save();
        // Set on whole points without the transform, the band stays a rectangle of whole device
        // pixels, which the engine clips each row to instead of clipping through a path.
        painter.setWorldTransform(QTransform());
        painter.setClipRect(QRect(area.left(), y, area.width(), band), Qt::IntersectClip);
        painter.setWorldTransform(world);
        draw(painter);
        painter.restore();
    }
}

void drawCached(QPainter& painter, const QRectF& rect, const QString& key,
                const std::function<void(QPainter&, const QRectF&)>& paint)
{
    if (rect.isEmpty())
        return;
    const int scale = wholePixelScale(painter);
    if (scale < 1) {
        paint(painter, rect);
        return;
    }
    // A pixel of room on every side for antialiased edges and strokes that reach past rect.
    const QPoint origin(int(std::floor(rect.x())) - 1, int(std::floor(rect.y())) - 1);
    const QPointF within = rect.topLeft() - QPointF(origin);
    const QSize size(int(std::ceil(within.x() + rect.width())) + 1, int(std::ceil(within.y() + rect.height())) + 1);
    QString cacheKey = QStringLiteral("vesk-cached:");
    cacheKey.reserve(cacheKey.size() + 8 + key.size());
    // The offset within the pixel in 64ths: what a row's height or a centred symbol gives.
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 0;
    appendRaw(cacheKey, std::array<qint32, 6>{scale, dpi, int(std::lround(within.x() * 64)), int(std::lround(within.y() * 64)),
                            int(std::lround(rect.width() * 64)), int(std::lround(rect.height() * 64))});
    cacheKey.append(key);
    QPixmap pieces;
    if (!QPixmapCache::find(cacheKey, &pieces)) {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(scale);
        // Text sized in points takes the size it has on the painter's own device.
        if (const QPaintDevice* target = painter.device()) {
            image.setDotsPerMeterX(qRound(target->logicalDpiX() / 0.0254));
            image.setDotsPerMeterY(qRound(target->logicalDpiY() / 0.0254));
        }
        {
            QPainter p(&image);
            paint(p, QRectF(within, rect.size()));
        }
        pieces = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(cacheKey, pieces);
    }
    painter.drawPixmap(origin, pieces);
}

void fillLinearGradient(QPainter& painter, const QRectF& rect, const QColor& from, const QColor& to,
                        Qt::Orientation orientation)
{
    QLinearGradient gradient(rect.topLeft(), orientation == Qt::Vertical ? rect.bottomLeft() : rect.topRight());
    gradient.setColorAt(0.0, from);
    gradient.setColorAt(1.0, to);
    painter.fillRect(rect, gradient);
}

void fillRadialGradient(QPainter& painter, const QRectF& rect, QPointF centre, qreal startRadius,
                        qreal endRadius, const QColor& from, const QColor& to)
{
    if (endRadius <= 0)
        return;
    QRadialGradient gradient(centre, endRadius);
    const qreal start = std::clamp(startRadius / endRadius, 0.0, 1.0);
    gradient.setColorAt(0.0, from);
    gradient.setColorAt(start, from);
    gradient.setColorAt(1.0, to);
    painter.fillRect(rect, gradient);
}

} // namespace vesk::Painting
