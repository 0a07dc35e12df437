#include "app/FailureNoticeView.h"
#include "app/NoticeText.h"

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

QStringList titleLines(const QString& title) { return noticeLines(titleFont(), title, kTitleWidth); }
QStringList detailLines(const QString& detail)
{
    return detail.isEmpty() ? QStringList() : noticeLines(detailFont(), detail, FailureNoticeView::textWidth, kMaximumDetailLines);
}

qreal heightOf(const QStringList& lines, const QFont& font)
{
    return lines.size() * QFontMetricsF(font).lineSpacing();
}

// Draws lines one under the other from y; gives the y below them.
qreal drawLines(QPainter& p, const QStringList& lines, qreal left, qreal y, qreal width)
{
    const qreal spacing = QFontMetricsF(p.font()).lineSpacing();
    for (const QString& line : lines) {
        p.drawText(QRectF(left, y, width, spacing), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += spacing;
    }
    return y;
}
} // namespace

FailureNoticeView::FailureNoticeView(const VeskFailureNotice& notice, QWidget* parent)
    : ActionNoticeCard(QStringLiteral("Dismiss"), parent)
    , m_notice(notice)
{
    connect(closeButton(), &QAbstractButton::clicked, this, &FailureNoticeView::dismissRequested);
    setNotice(notice);
}

QString FailureNoticeView::countLine(const VeskFailureNotice& notice)
{
    const int unnamed = notice.count - notice.named;
    return unnamed > 0 ? QString::number(unnamed) + QStringLiteral(" more like it") : QString();
}

void FailureNoticeView::setNotice(const VeskFailureNotice& notice)
{
    m_notice = notice;
    const QString more = countLine(notice);
    setAccessibleName(notice.title + QLatin1Char('\n') + notice.detail + (more.isEmpty() ? QString() : QLatin1Char('\n') + more));
    resize(sizeHint());
    update();
}

QSize FailureNoticeView::sizeHint() const
{
    qreal textHeight = heightOf(titleLines(m_notice.title), titleFont());
    if (!m_notice.detail.isEmpty())
        textHeight += 3 + heightOf(detailLines(m_notice.detail), detailFont());
    if (!countLine(m_notice).isEmpty())
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
    p.setFont(titleFont());
    p.setPen(theme.label());
    y = drawLines(p, titleLines(m_notice.title), left, y, kTitleWidth);
    p.setFont(detailFont());
    if (!m_notice.detail.isEmpty()) {
        p.setPen(theme.secondary());
        y = drawLines(p, detailLines(m_notice.detail), left, y + 3, textWidth);
    }
    if (const QString more = countLine(m_notice); !more.isEmpty()) {
        y += 3;
        p.setPen(Theme::failure());
        p.drawText(QRectF(left, y, textWidth, QFontMetricsF(detailFont()).height()), Qt::AlignLeft, more);
    }
}

} // namespace vesk
