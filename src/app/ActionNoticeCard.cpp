#include "app/ActionNoticeCard.h"

#include "app/NoticeCloseButton.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <cmath>

namespace vesk {

namespace {
constexpr qreal kRadius = 12;
} // namespace

ActionNoticeCard::ActionNoticeCard(const QString& closeName, QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    // The window's notice host offsets the card by its shadow.
    setProperty("shadowMargin", shadowMargin);
    m_close = new NoticeCloseButton(closeName, this);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QSize ActionNoticeCard::sizeFor(const QSizeF& content)
{
    return QSize(int(std::ceil(content.width() + 2 * padding)) + 2 * shadowMargin,
                 int(std::ceil(content.height() + 2 * padding)) + 2 * shadowMargin);
}

QRectF ActionNoticeCard::cardRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

QRectF ActionNoticeCard::contentRect() const
{
    return cardRect().adjusted(padding, padding, -padding, -padding);
}

void ActionNoticeCard::paintCard(QPainter& painter, const QColor& tint, const QColor& outline) const
{
    const Theme& theme = Theme::current();
    const QPainterPath shape = Painting::roundedRect(cardRect(), kRadius);
    Painting::drawSoftShadow(painter, shape, Theme::black(0.12), 11, QPointF(0, 4));
    painter.fillPath(shape, theme.windowBackground(0.94));
    painter.fillPath(shape, tint.alpha() > 0 ? tint : theme.material(MaterialThickness::UltraThin));
    Painting::stroke(painter, shape, outline, 0.9);
}

void ActionNoticeCard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRectF card = cardRect();
    m_close->move(int(card.right() - padding + 4 - NoticeCloseButton::side), int(card.top() + padding - 3));
}

} // namespace vesk
