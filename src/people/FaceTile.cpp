#include "people/FaceTile.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "store/VeskStore.h"

#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kTileRadius = 10;
}

FaceTile::FaceTile(VeskStore& store, const QUuid& faceID, int side, QWidget* parent)
    : QWidget(parent), m_store(&store), m_faceID(faceID), m_side(side)
{
    setFixedSize(side, side);
    connect(&store, &VeskStore::facePreviewsChanged, this, qOverload<>(&QWidget::update));
}

void FaceTile::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square(0, 0, m_side, m_side);
    const QPainterPath shape = Painting::roundedRect(square.adjusted(0.4, 0.4, -0.4, -0.4), kTileRadius);
    const QImage preview = m_store ? m_store->facePreviewImage(m_faceID) : QImage();
    m_showsPreview = !preview.isNull();
    if (m_showsPreview) {
        // Scaled to fill the square, centred, cut to the rounded shape.
        const QSizeF filled = QSizeF(preview.size()).scaled(square.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(square.center().x() - filled.width() / 2, square.center().y() - filled.height() / 2,
                            filled.width(), filled.height());
        p.save();
        p.setClipPath(shape);
        p.drawImage(target, preview);
        p.restore();
        Painting::stroke(p, shape, theme.primary(0.1), 0.8);
        return;
    }
    p.fillPath(shape, theme.primary(0.04));
    IconMap::paint(p, square, QStringLiteral("person.crop.square"), theme.tertiary(), m_side * 0.42);
}

} // namespace vesk
