#include "secureview/SecureBadges.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace vesk {

namespace {

// Room around a badge for its glow.
constexpr int kGlowMargin = 3;

QPainterPath glyphPath(const QString& symbol, const QFont& font, const QRectF& box)
{
    QPainterPath path;
    path.addText(0, 0, font, IconMap::glyph(symbol));
    const QRectF bounds = path.boundingRect();
    path.translate(box.center() - bounds.center());
    return path;
}

} // namespace

SecureShieldGlyph::SecureShieldGlyph(qreal size, QWidget* parent)
    : QWidget(parent), m_size(size)
{
    setObjectName(QStringLiteral("secureShieldGlyph"));
    setFixedSize(sizeHint());
}

QSize SecureShieldGlyph::sizeHint() const
{
    const int edge = int(std::lround(m_size + 18));
    return {edge, edge};
}

void SecureShieldGlyph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square = QRectF(rect()).adjusted(1, 1, -1, -2); // leave the shadows a little room

    QPainterPath disc;
    disc.addEllipse(square);
    Painting::drawSoftShadow(painter, disc, Theme::black(0.18), 6, {0, 2});
    QRadialGradient light(square.topLeft(), m_size, square.topLeft());
    light.setColorAt(4.0 / m_size, Theme::white(0.09));
    light.setColorAt(1.0, Theme::black(0.12));
    painter.fillPath(disc, light);
    QLinearGradient rim(square.topLeft(), square.bottomLeft());
    rim.setColorAt(0, Theme::white(0.2));
    rim.setColorAt(1, Theme::rgb(0.22, 0.88, 0.54, 0.2));
    painter.strokePath(disc, QPen(QBrush(rim), 0.9));

    QFont font = IconMap::font(m_size);
    font.setWeight(QFont::DemiBold);
    const QPainterPath symbol = glyphPath(QStringLiteral("lock.shield.fill"), font, square);
    Painting::drawSoftShadow(painter, symbol, Theme::rgb(0.26, 0.92, 0.62, 0.34), 8, {0, 1});
    const QRectF bounds = symbol.boundingRect();
    QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
    fill.setColorAt(0, Theme::rgb(0.78, 1.0, 0.9));
    fill.setColorAt(1, Theme::rgb(0.28, 0.9, 0.58));
    painter.fillPath(symbol, fill);
}

SecureCapsuleBadge::SecureCapsuleBadge(Look look, bool compact, QWidget* parent)
    : QWidget(parent), m_look(std::move(look)), m_title(m_look.title), m_compact(compact)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont SecureCapsuleBadge::titleFont() const
{
    QFont font = Theme::font(m_look.fontSize, QFont::Black);
    font.setLetterSpacing(QFont::AbsoluteSpacing, m_look.tracking);
    return font;
}

QSize SecureCapsuleBadge::capsuleSize() const
{
    const QFontMetricsF metrics(titleFont());
    const qreal horizontal = m_compact ? 8 : 9;
    const qreal vertical = m_compact ? 4 : 5;
    qreal width = metrics.horizontalAdvance(m_look.title) + 2 * horizontal;
    if (!m_look.symbol.isEmpty())
        width += m_look.fontSize + 4;
    return QSize(int(std::ceil(width)), int(std::ceil(metrics.height() + 2 * vertical)));
}

QSize SecureCapsuleBadge::sizeHint() const
{
    return capsuleSize() + QSize(2 * kGlowMargin, 2 * kGlowMargin);
}

void SecureCapsuleBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(QPointF(kGlowMargin, kGlowMargin), QSizeF(capsuleSize()));
    const QPainterPath capsule = Painting::capsule(box);
    Painting::drawSoftShadow(painter, capsule, m_look.glow, m_compact ? 7 : 8, {0, 1});
    QLinearGradient fill(box.topLeft(), m_look.diagonal ? box.bottomRight() : box.bottomLeft());
    fill.setColorAt(0, m_look.from);
    fill.setColorAt(1, m_look.to);
    painter.fillPath(capsule, fill);
    painter.strokePath(capsule, QPen(Theme::white(0.18), 0.8));

    const qreal horizontal = m_compact ? 8 : 9;
    QRectF content = box.adjusted(horizontal, 0, -horizontal, 0);
    const QColor ink = Theme::white(0.97);
    if (!m_look.symbol.isEmpty()) {
        const QRectF icon(content.left(), content.center().y() - m_look.fontSize / 2, m_look.fontSize, m_look.fontSize);
        IconMap::paint(painter, icon, m_look.symbol, ink, m_look.fontSize + 1);
        content.setLeft(icon.right() + 4);
    }
    painter.setFont(titleFont());
    painter.setPen(ink);
    painter.drawText(content, Qt::AlignVCenter | Qt::AlignLeft, m_look.title);
}

SecureStatusBadge::SecureStatusBadge(bool compact, QWidget* parent)
    : SecureCapsuleBadge({QStringLiteral("SECURE"), QString(), compact ? 9.5 : 10.5, compact ? 1.1 : 1.3,
                          Theme::rgb(0.1, 0.48, 0.26), Theme::rgb(0.2, 0.76, 0.42), false,
                          Theme::rgb(0.24, 0.86, 0.5, 0.3)},
                         compact, parent)
{
    setObjectName(QStringLiteral("secureStatusBadge"));
}

CreditCardStatusBadge::CreditCardStatusBadge(bool compact, QWidget* parent)
    : SecureCapsuleBadge({QStringLiteral("CREDIT CARD"), QStringLiteral("creditcard.fill"), compact ? 9.2 : 10.2,
                          compact ? 0.8 : 1.0, Theme::rgb(0.12, 0.36, 0.68), Theme::rgb(0.24, 0.62, 0.92), true,
                          Theme::rgb(0.18, 0.58, 0.95, 0.28)},
                         compact, parent)
{
    setObjectName(QStringLiteral("creditCardStatusBadge"));
}

} // namespace vesk
