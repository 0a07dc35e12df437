#include "grid/GridCardLayer.h"

#include "platform/ParallelWork.h"
#include "platform/WorkPools.h"

#include <QPainter>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

// Rows of device pixels each band of a redraw holds: a card reaches into three or four bands.
// Fewer than 96: the raster engine splits a fill of 96 spans or more (a span for each row of each
// rectangle of the clip) over Qt's pool and waits for it, and a band's thread then handed every
// card to other threads and slept until they had blended it.
constexpr int kBandRows = 64;

} // namespace

void GridCardLayer::clear()
{
    m_image = QImage();
    m_size = QSize();
    m_ratio = 0;
    m_valid = QRegion();
    m_drawn.clear();
}

void GridCardLayer::paint(QPainter& painter, const QRegion& exposed, QSize size, qreal ratio, const QList<Card>& cards)
{
    if (size.isEmpty())
        return;
    if (size != m_size || ratio != m_ratio || m_image.isNull()) {
        clear();
        m_size = size;
        m_ratio = ratio;
        m_image = QImage((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(ratio);
    }
    const QRegion shown = exposed & QRect(QPoint(0, 0), size);
    QRegion stale = shown - m_valid;
    QSet<qsizetype> current;
    for (const Card& card : cards) {
        current.insert(card.index);
        const auto drawn = m_drawn.constFind(card.index);
        if (drawn != m_drawn.cend() && drawn->signature == card.signature && drawn->reach == card.reach)
            continue;
        // Beyond what is painted now, the picture no longer shows the card as it is.
        QRegion changed(card.reach);
        if (drawn != m_drawn.cend())
            changed += drawn->reach;
        stale += changed & shown;
        m_valid -= changed;
    }
    // Cards that were drawn here and are no longer (a shorter list, another scroll).
    for (auto it = m_drawn.begin(); it != m_drawn.end();) {
        if (current.contains(it.key()) || !shown.intersects(it->reach)) {
            ++it;
            continue;
        }
        stale += QRegion(it->reach) & shown;
        m_valid -= it->reach;
        it = m_drawn.erase(it);
    }
    if (!stale.isEmpty())
        redraw(stale, cards);
    m_valid += shown;
    for (const Card& card : cards)
        m_drawn.insert(card.index, Drawn{card.reach, card.signature});

    // One rectangle at a time: a plain copy each, where a region of several would have the engine
    // blend the picture in pieces on Qt's pool.
    painter.save();
    for (const QRect& rect : shown) {
        painter.setClipRect(rect);
        painter.drawImage(rect, m_image, QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
    }
    painter.restore();
}

void GridCardLayer::redraw(const QRegion& stale, const QList<Card>& cards)
{
    // Bands of whole device rows, each drawn by a painter of its own over its share of the
    // picture's rows: every pixel is drawn by one painter, in the cards' order.
    const QRect bounds = stale.boundingRect();
    const int firstRow = std::max(0, int(std::floor(bounds.top() * m_ratio)));
    const int endRow = std::min(m_image.height(), int(std::ceil((bounds.bottom() + 1) * m_ratio)));
    struct Band {
        int top = 0;
        int rows = 0;
        QRegion stale;
        QList<const Card*> cards;
    };
    QList<Band> bands;
    for (int top = firstRow; top < endRow; top += kBandRows) {
        Band band{top, std::min(kBandRows, endRow - top), {}, {}};
        const QRectF logical(0, band.top / m_ratio, m_size.width(), band.rows / m_ratio);
        band.stale = stale & logical.toAlignedRect();
        if (band.stale.isEmpty())
            continue;
        for (const Card& card : cards) {
            if (band.stale.intersects(card.reach))
                band.cards.append(&card);
        }
        bands.append(std::move(band));
    }
    // Taken here: asking the picture for its pixels counts a change of it, which the bands'
    // threads must not do at once.
    uchar* const pixels = m_image.bits();
    const auto drawBand = [this, pixels](const Band& band) {
        QImage rows(pixels + qsizetype(band.top) * m_image.bytesPerLine(), m_image.width(), band.rows,
                    m_image.bytesPerLine(), m_image.format());
        rows.setDevicePixelRatio(m_ratio);
        QPainter painter(&rows);
        painter.translate(0, -band.top / m_ratio);
        // One rectangle of the band at a time: clipped to a region of several side by side, every
        // row of the band would count once for each of them.
        for (const QRect& rect : band.stale) {
            painter.setClipRect(rect);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(rect, Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            for (const Card* card : band.cards) {
                if (card->reach.intersects(rect))
                    card->draw(painter);
            }
        }
    };
    if (bands.size() == 1) {
        drawBand(bands.first());
        return;
    }
    // Drawn by the painting pool's threads only, the main thread waiting: a band it took itself
    // would hold up the others' wait for this frame.
    forEachOnPool(size_t(bands.size()), [&](size_t i) { drawBand(bands[qsizetype(i)]); }, *WorkPools::shared().painting());
}

} // namespace vesk
