#include "app/WindowBackdrop.h"

#include "app/HeaderBar.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <QPaintDevice>

#include <algorithm>

namespace vesk {

namespace {
QColor topRightGlow(const Theme& theme, qreal glow) { return theme.accent(0.015 + (0.055 - 0.015) * glow); }
QColor bottomLeftGlow(const Theme& theme, qreal glow) { return theme.primary(0.008 + (0.018 - 0.008) * glow); }
} // namespace

WindowBackdrop::Colours WindowBackdrop::coloursOf(const Theme& theme, qreal glow)
{
    return {theme.windowBackground().rgba(), theme.underPageBackground(0.94).rgba(), topRightGlow(theme, glow).rgba(),
            bottomLeftGlow(theme, glow).rgba(), theme.separator(0.45).rgba()};
}

void WindowBackdrop::paintFresh(QPainter& p, const QRectF& all, qreal glow, const Theme& theme)
{
    glow = std::clamp(glow, 0.0, 1.0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(all, theme.windowBackground());
    Painting::fillLinearGradient(p, all, theme.windowBackground(), theme.underPageBackground(0.94));
    Painting::fillRadialGradient(p, all, all.topRight(), 40, 620, topRightGlow(theme, glow), theme.accent(0.0));
    Painting::fillRadialGradient(p, all, all.bottomLeft(), 30, 540, bottomLeftGlow(theme, glow), theme.primary(0.0));

    // The header's shadow falls on the content below it, then the divider.
    const qreal headerBottom = HeaderBar::barHeight;
    Painting::fillLinearGradient(p, QRectF(all.left(), headerBottom, all.width(), 3), Theme::black(0.08),
                                 Theme::black(0.0));
    p.fillRect(QRectF(all.left(), headerBottom, all.width(), 1), theme.separator(0.45));
    p.restore();
}

void WindowBackdrop::paint(QPainter& painter, const QRegion& region, QSize size, qreal glow)
{
    const Theme& theme = Theme::current();
    glow = std::clamp(glow, 0.0, 1.0);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    const Colours colours = coloursOf(theme, glow);
    if (pixels.isEmpty())
        return;
    if (m_picture.size() != pixels || m_picture.devicePixelRatio() != ratio || m_glow != glow || m_colours != colours) {
        // Opaque: the window colour is painted first, so the picture is copied, never blended.
        m_picture = QImage(pixels, QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
        QPainter fresh(&m_picture);
        paintFresh(fresh, QRectF(QPointF(0, 0), QSizeF(size)), glow, theme);
        m_glow = glow;
        m_colours = colours;
    }
    // A copy is a plain blit only within one rectangle at a time; over a region of several the
    // engine would blend it in pieces on the thread pool again.
    painter.save();
    for (const QRect& rect : region) {
        painter.setClipRect(rect);
        painter.drawImage(rect, m_picture, QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
    }
    painter.restore();
}

} // namespace vesk
