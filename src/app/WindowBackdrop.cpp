#include "app/WindowBackdrop.h"

#include "app/HeaderBar.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {
// How far each corner's glow reaches.
constexpr qreal kTopRightReach = 620;
constexpr qreal kBottomLeftReach = 540;
constexpr int kGlowSteps = 12;

QColor topRightGlow(const Theme& theme, qreal glow) { return theme.accent(0.015 + (0.055 - 0.015) * glow); }
QColor bottomLeftGlow(const Theme& theme, qreal glow) { return theme.primary(0.008 + (0.018 - 0.008) * glow); }

QImage freshPicture(QSize pixels, qreal ratio, QSize size, qreal glow, const Theme& theme)
{
    // Opaque: the window colour is painted first, so the picture is copied, never blended.
    QImage picture(pixels, QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    QPainter fresh(&picture);
    WindowBackdrop::paintFresh(fresh, QRectF(QPointF(0, 0), QSizeF(size)), glow, theme);
    return picture;
}
} // namespace

WindowBackdrop::Colours WindowBackdrop::coloursOf(const Theme& theme, qreal glow)
{
    return {theme.windowBackground().rgba(), theme.underPageBackground(0.94).rgba(), topRightGlow(theme, glow).rgba(),
            bottomLeftGlow(theme, glow).rgba(), theme.separator(0.45).rgba()};
}

qreal WindowBackdrop::shownGlow(qreal glow)
{
    return std::round(std::clamp(glow, 0.0, 1.0) * kGlowSteps) / kGlowSteps;
}

QRegion WindowBackdrop::glowRegion(QSize size)
{
    const int topRight = int(std::ceil(kTopRightReach));
    const int bottomLeft = int(std::ceil(kBottomLeftReach));
    const QRect window(QPoint(0, 0), size);
    return QRegion(QRect(size.width() - topRight, 0, topRight, topRight).intersected(window))
        + QRegion(QRect(0, size.height() - bottomLeft, bottomLeft, bottomLeft).intersected(window));
}

void WindowBackdrop::paintFresh(QPainter& p, const QRectF& all, qreal glow, const Theme& theme)
{
    glow = std::clamp(glow, 0.0, 1.0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(all, theme.windowBackground());
    Painting::fillLinearGradient(p, all, theme.windowBackground(), theme.underPageBackground(0.94));
    Painting::fillRadialGradient(p, all, all.topRight(), 40, kTopRightReach, topRightGlow(theme, glow),
                                 theme.accent(0.0));
    Painting::fillRadialGradient(p, all, all.bottomLeft(), 30, kBottomLeftReach, bottomLeftGlow(theme, glow),
                                 theme.primary(0.0));

    // The header's shadow falls on the content below it, then the divider.
    const qreal headerBottom = HeaderBar::barHeight;
    Painting::fillLinearGradient(p, QRectF(all.left(), headerBottom, all.width(), 3), Theme::black(0.08),
                                 Theme::black(0.0));
    p.fillRect(QRectF(all.left(), headerBottom, all.width(), 1), theme.separator(0.45));
    p.restore();
}

const QImage& WindowBackdrop::picture() const
{
    if (m_lastGlow <= 0)
        return m_rest;
    return m_lastGlow >= 1 ? m_glowing : m_mixed;
}

void WindowBackdrop::mix(const QRegion& region, qreal glow)
{
    if (m_mixedGlow != glow) {
        m_mixedGlow = glow;
        m_mixedRegion = QRegion();
    }
    const QRegion missing = region - m_mixedRegion;
    if (missing.isEmpty())
        return;
    m_mixedRegion += missing;
    // The picture at rest, and the glowing one over it at the glow's share: the raster engine
    // mixes two opaque pictures a row at a time with its vector instructions, several times
    // faster than a loop over the pixels here. One rectangle at a time, so that each is a plain
    // copy and blend on this thread.
    const qreal ratio = m_mixed.devicePixelRatio();
    QPainter mixer(&m_mixed);
    for (const QRect& rect : missing) {
        const QRectF pixels(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio);
        mixer.setClipRect(rect);
        mixer.setCompositionMode(QPainter::CompositionMode_Source);
        mixer.setOpacity(1);
        mixer.drawImage(QRectF(rect), m_rest, pixels);
        mixer.setCompositionMode(QPainter::CompositionMode_SourceOver);
        mixer.setOpacity(glow);
        mixer.drawImage(QRectF(rect), m_glowing, pixels);
    }
}

void WindowBackdrop::follow(QSize pixels, qreal ratio, const Theme& theme)
{
    const std::array<Colours, 2> colours{coloursOf(theme, 0), coloursOf(theme, 1)};
    if (m_pixels == pixels && m_ratio == ratio && m_colours == colours)
        return;
    m_rest = QImage();
    m_glowing = QImage();
    m_mixed = QImage();
    m_mixedGlow = -1;
    m_pixels = pixels;
    m_ratio = ratio;
    m_colours = colours;
}

void WindowBackdrop::prepare(QSize size, qreal ratio)
{
    const Theme& theme = Theme::current();
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (pixels.isEmpty())
        return;
    follow(pixels, ratio, theme);
    if (m_rest.isNull())
        m_rest = freshPicture(pixels, ratio, size, 0, theme);
    if (m_glowing.isNull())
        m_glowing = freshPicture(pixels, ratio, size, 1, theme);
    // The picture the glow is mixed into, its memory touched now: the first search's frames
    // otherwise began with the kernel handing it megabytes of fresh pages, ~20 ms of a key.
    if (m_mixed.isNull()) {
        m_mixed = m_rest.copy();
        m_mixedGlow = 0;
        m_mixedRegion = QRegion(QRect(QPoint(0, 0), size));
    }
}

void WindowBackdrop::paint(QPainter& painter, const QRegion& region, QSize size, qreal glow)
{
    const Theme& theme = Theme::current();
    glow = std::clamp(glow, 0.0, 1.0);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (pixels.isEmpty())
        return;
    follow(pixels, ratio, theme);
    // Each picture is painted when first wanted: a window that is resized without a search
    // paints only the one at rest.
    if (glow < 1 && m_rest.isNull())
        m_rest = freshPicture(pixels, ratio, size, 0, theme);
    if (glow > 0 && m_glowing.isNull())
        m_glowing = freshPicture(pixels, ratio, size, 1, theme);
    if (glow > 0 && glow < 1 && m_mixed.isNull()) {
        m_mixed = QImage(pixels, QImage::Format_RGB32);
        m_mixed.setDevicePixelRatio(ratio);
    }
    m_lastGlow = glow;
    // Outside the glowing corners the two pictures are the same: only the corners are mixed, and
    // the rest is copied from the picture at rest.
    const bool between = glow > 0 && glow < 1;
    const QRegion mixed = between ? region & glowRegion(size) : QRegion();
    if (between)
        mix(mixed, glow);
    const QImage& source = picture();
    // A copy is a plain blit only within one rectangle at a time; over a region of several the
    // engine would blend it in pieces on the thread pool again.
    painter.save();
    const auto copy = [&](const QRegion& part, const QImage& from) {
        for (const QRect& rect : part) {
            painter.setClipRect(rect);
            painter.drawImage(rect, from, QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
        }
    };
    if (between) {
        copy(region - mixed, m_rest);
        copy(mixed, source);
    } else {
        copy(region, source);
    }
    painter.restore();
}

} // namespace vesk
