#include "app/FailureNoticeView.h"

#include "app/NoticeCloseButton.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace vesk {

namespace {
constexpr qreal kPadding = 12;
constexpr qreal kSymbolPoints = 15;
constexpr qreal kSpacing = 10;
constexpr qreal kDismissSide = NoticeCloseButton::side;
constexpr qreal kRadius = 12;
constexpr int kMaximumDetailLines = 8;

QFont titleFont() { return Theme::font(12.5, QFont::DemiBold); }
QFont detailFont() { return Theme::font(11); }

QRectF wrappedBounds(const QFont& font, const QString& text, qreal width)
{
    return QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 10'000), Qt::TextWordWrap, text);
}

qreal detailHeight(const QString& detail)
{
    if (detail.isEmpty())
        return 0;
    const QFontMetricsF metrics(detailFont());
    return std::min(wrappedBounds(detailFont(), detail, FailureNoticeView::textWidth).height(),
                    metrics.lineSpacing() * kMaximumDetailLines);
}
} // namespace

FailureNoticeView::FailureNoticeView(const VeskFailureNotice& notice, QWidget* parent)
    : QWidget(parent)
    , m_notice(notice)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setProperty("shadowMargin", shadowMargin);
    m_dismiss = new NoticeCloseButton(QStringLiteral("Dismiss"), this);
    connect(m_dismiss, &QAbstractButton::clicked, this, &FailureNoticeView::dismissRequested);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
    setNotice(notice);
}

QString FailureNoticeView::countLine(int count)
{
    return count > 1 ? QString::number(count - 1) + QStringLiteral(" more like it") : QString();
}

void FailureNoticeView::setNotice(const VeskFailureNotice& notice)
{
    m_notice = notice;
    const QString more = countLine(notice.count);
    setAccessibleName(notice.title + QLatin1Char('\n') + notice.detail + (more.isEmpty() ? QString() : QLatin1Char('\n') + more));
    resize(sizeHint());
    update();
}

QSize FailureNoticeView::sizeHint() const
{
    const qreal titleHeight = wrappedBounds(titleFont(), m_notice.title, textWidth - kDismissSide).height();
    qreal textHeight = titleHeight;
    if (!m_notice.detail.isEmpty())
        textHeight += 3 + detailHeight(m_notice.detail);
    if (m_notice.count > 1)
        textHeight += 3 + QFontMetricsF(detailFont()).height();
    const qreal width = kPadding * 2 + kSymbolPoints + 4 + kSpacing + textWidth;
    const qreal height = kPadding * 2 + std::max<qreal>(textHeight, kSymbolPoints + 4);
    return QSize(int(std::ceil(width)) + 2 * shadowMargin, int(std::ceil(height)) + 2 * shadowMargin);
}

QRectF FailureNoticeView::cardRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

void FailureNoticeView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRectF card = cardRect();
    m_dismiss->move(int(card.right() - kPadding + 4 - kDismissSide), int(card.top() + kPadding - 3));
}

void FailureNoticeView::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = cardRect();
    const QPainterPath shape = Painting::roundedRect(card, kRadius);
    Painting::drawSoftShadow(p, shape, Theme::black(0.14), 12, QPointF(0, 4));
    p.fillPath(shape, theme.windowBackground(0.96));
    p.fillPath(shape, Theme::failure(0.07));
    Painting::stroke(p, shape, Theme::failure(0.55), 1.0);

    const QRectF content = card.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    IconMap::paint(p, QRectF(content.left(), content.top(), kSymbolPoints + 4, kSymbolPoints + 4),
                   QStringLiteral("exclamationmark.triangle"), Theme::failure(), kSymbolPoints);

    const qreal left = content.left() + kSymbolPoints + 4 + kSpacing;
    qreal y = content.top();
    const QRectF titleBounds = wrappedBounds(titleFont(), m_notice.title, textWidth - kDismissSide);
    p.setFont(titleFont());
    p.setPen(theme.label());
    p.drawText(QRectF(left, y, textWidth - kDismissSide, titleBounds.height()), Qt::TextWordWrap, m_notice.title);
    y += titleBounds.height();
    p.setFont(detailFont());
    if (!m_notice.detail.isEmpty()) {
        y += 3;
        const qreal height = detailHeight(m_notice.detail);
        p.setPen(theme.secondary());
        p.drawText(QRectF(left, y, textWidth, height), Qt::TextWordWrap, m_notice.detail);
        y += height;
    }
    if (m_notice.count > 1) {
        y += 3;
        p.setPen(Theme::failure());
        p.drawText(QRectF(left, y, textWidth, QFontMetricsF(detailFont()).height()), Qt::AlignLeft,
                   countLine(m_notice.count));
    }
}

} // namespace vesk
