#include "pane/SearchBackdrop.h"

#include "platform/ui/Theme.h"

#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {
constexpr qreal kGlowRadius = 520;
// The strength the glow's picture is kept at.
constexpr qreal kKeptGlow = 0.25;

QImage transparentPicture(QSize pixels, qreal ratio)
{
    QImage picture(pixels, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    return picture;
}

void fillWash(QPainter& painter, const QRectF& area, const Theme& theme)
{
    QLinearGradient wash(area.topLeft(), area.bottomRight());
    wash.setColorAt(0, theme.primary(0.01));
    wash.setColorAt(0.5, theme.accent(0.028));
    wash.setColorAt(1, theme.primary(0.008));
    painter.fillRect(area, wash);
}

void fillGlow(QPainter& painter, const QRectF& area, const QPointF& centre, const QColor& colour)
{
    QRadialGradient glow(centre, kGlowRadius);
    glow.setColorAt(0, colour);
    glow.setColorAt(20.0 / kGlowRadius, colour);
    glow.setColorAt(1, Qt::transparent);
    painter.fillRect(area, glow);
}
} // namespace

SearchBackdrop::Colours SearchBackdrop::coloursOf(const Theme& theme)
{
    return {theme.primary(0.01).rgba(), theme.accent(0.028).rgba(), theme.primary(0.008).rgba()};
}

QRect SearchBackdrop::glowSquare(QSize size)
{
    const int reach = int(std::ceil(kGlowRadius));
    return QRect(0, 0, reach, reach).intersected(QRect(QPoint(0, 0), size));
}

bool SearchBackdrop::sameGlow(qreal a, qreal b, const Theme& theme)
{
    return theme.accent(a).rgba() == theme.accent(b).rgba();
}

bool SearchBackdrop::sameOpacity(qreal a, qreal b)
{
    // The raster engine blends at opacities in 256ths.
    return std::lround(a * 256) == std::lround(b * 256);
}

void SearchBackdrop::paintFresh(QPainter& painter, QSize size, qreal opacity, qreal glow, const Theme& theme)
{
    painter.save();
    painter.setOpacity(opacity);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    fillWash(painter, area, theme);
    fillGlow(painter, area, area.topLeft(), theme.accent(glow));
    painter.restore();
}

void SearchBackdrop::prepare(QSize size, qreal ratio)
{
    if (!(QSizeF(size) * ratio).toSize().isEmpty())
        makePictures(size, ratio, 0);
}

void SearchBackdrop::makePictures(QSize size, qreal ratio, qreal glow)
{
    const Theme& theme = Theme::current();
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    const Colours colours = coloursOf(theme);
    if (pixels != m_pixels || ratio != m_ratio || colours != m_colours) {
        m_wash = transparentPicture(pixels, ratio);
        QPainter wash(&m_wash);
        fillWash(wash, QRectF(QPointF(0, 0), QSizeF(size)), theme);
        m_glow = QImage();
        m_pixels = pixels;
        m_ratio = ratio;
        m_colours = colours;
    }
    // The glow is kept at one strength, above the pulse's brightest, and blended at the strength
    // asked for: it fades to clear, so a weaker glow is the kept one at a lower opacity, and each
    // step of the pulse, at every key typed, no longer fills the gradient afresh.
    const QRect square = glowSquare(size);
    const QColor fullGlow = theme.accent(std::max(kKeptGlow, glow));
    if (m_glow.isNull() || fullGlow.rgba() != m_glowColour) {
        m_glow = transparentPicture((QSizeF(square.size()) * ratio).toSize(), ratio);
        QPainter fresh(&m_glow);
        fillGlow(fresh, QRectF(square), QPointF(0, 0), fullGlow);
        m_glowColour = fullGlow.rgba();
    }
}

void SearchBackdrop::paint(QPainter& painter, const QRegion& region, QSize size, qreal opacity, qreal glow)
{
    const Theme& theme = Theme::current();
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (pixels.isEmpty() || opacity <= 0)
        return;
    makePictures(size, ratio, glow);
    const QRect square = glowSquare(size);
    const QColor fullGlow = theme.accent(std::max(kKeptGlow, glow));
    const qreal glowShare = fullGlow.alphaF() > 0 ? theme.accent(glow).alphaF() / fullGlow.alphaF() : 0;
    // One rectangle at a time: over a region of several the engine blends in pieces on the
    // thread pool and waits for them.
    painter.save();
    const auto blend = [&](const QRect& rect, const QImage& picture, qreal strength) {
        painter.setOpacity(strength);
        painter.setClipRect(rect);
        painter.drawImage(rect, picture, QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
    };
    for (const QRect& rect : region) {
        blend(rect, m_wash, opacity);
        if (const QRect glowing = rect.intersected(square); !glowing.isEmpty() && glowShare > 0)
            blend(glowing, m_glow, opacity * glowShare);
    }
    painter.restore();
}

} // namespace vesk
