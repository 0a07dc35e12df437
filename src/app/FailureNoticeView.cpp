#include "app/FailureNoticeView.h"

#include "app/NoticeCloseButton.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kSymbolPoints = 15;
constexpr qreal kSpacing = 10;
constexpr qreal kTitleWidth = FailureNoticeView::textWidth - NoticeCloseButton::side;
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
    return std::min(wrappedBounds(detailFont(), detail, FailureNoticeView::textWidth).height(),
                    QFontMetricsF(detailFont()).lineSpacing() * kMaximumDetailLines);
}
} // namespace

FailureNoticeView::FailureNoticeView(const VeskFailureNotice& notice, QWidget* parent)
    : ActionNoticeCard(QStringLiteral("Dismiss"), parent)
    , m_notice(notice)
{
    connect(closeButton(), &QAbstractButton::clicked, this, &FailureNoticeView::dismissRequested);
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
    qreal textHeight = wrappedBounds(titleFont(), m_notice.title, kTitleWidth).height();
    if (!m_notice.detail.isEmpty())
        textHeight += 3 + detailHeight(m_notice.detail);
    if (m_notice.count > 1)
        textHeight += 3 + QFontMetricsF(detailFont()).height();
    return sizeFor(QSizeF(kSymbolPoints + 4 + kSpacing + textWidth, std::max<qreal>(textHeight, kSymbolPoints + 4)));
}

void FailureNoticeView::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintCard(p, Theme::failure(0.07), Theme::failure(0.55));

    const QRectF content = contentRect();
    IconMap::paint(p, QRectF(content.left(), content.top(), kSymbolPoints + 4, kSymbolPoints + 4),
                   QStringLiteral("exclamationmark.triangle"), Theme::failure(), kSymbolPoints);

    const qreal left = content.left() + kSymbolPoints + 4 + kSpacing;
    qreal y = content.top();
    const QRectF titleBounds = wrappedBounds(titleFont(), m_notice.title, kTitleWidth);
    p.setFont(titleFont());
    p.setPen(theme.label());
    p.drawText(QRectF(left, y, kTitleWidth, titleBounds.height()), Qt::TextWordWrap, m_notice.title);
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
