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

// What the card shows of a notice's detail, and how many of its failures that names.
struct ShownDetail {
    QStringList lines;
    int failures = 0;
};

// The failures a notice names, one line of its detail each, are shown whole, one after the other,
// as many as fit in the lines allowed; those left out are counted with the unnamed ones, so that
// what the card shows adds up to every failure. A first one too long for the lines allowed is
// cut short with "…".
ShownDetail shownDetail(const VeskFailureNotice& notice)
{
    ShownDetail shown;
    if (notice.detail.isEmpty())
        return shown;
    const QStringList failures = notice.detail.split(QLatin1Char('\n'));
    if (failures.size() != notice.named) {
        // Not one line per failure: shown as one text, its failures as the notice counts them.
        shown.lines = noticeLines(detailFont(), notice.detail, FailureNoticeView::textWidth, kMaximumDetailLines);
        shown.failures = notice.named;
        return shown;
    }
    for (const QString& failure : failures) {
        const QStringList lines = noticeLines(detailFont(), failure, FailureNoticeView::textWidth);
        if (shown.lines.size() + lines.size() > kMaximumDetailLines) {
            if (shown.failures == 0) {
                shown.lines = noticeLines(detailFont(), failure, FailureNoticeView::textWidth, kMaximumDetailLines);
                shown.failures = 1;
            }
            break;
        }
        shown.lines += lines;
        ++shown.failures;
    }
    return shown;
}

QString moreLine(int unshown)
{
    return unshown > 0 ? QString::number(unshown) + QStringLiteral(" more like it") : QString();
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
    return moreLine(notice.count - notice.named);
}

QStringList FailureNoticeView::shownDetailLines() const
{
    return shownDetail(m_notice).lines;
}

QString FailureNoticeView::shownCountLine() const
{
    return moreLine(m_notice.count - shownDetail(m_notice).failures);
}

QStringList FailureNoticeView::shownLines() const
{
    QStringList lines = titleLines(m_notice.title) + shownDetailLines();
    if (const QString more = shownCountLine(); !more.isEmpty())
        lines.append(more);
    return lines;
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
    const ShownDetail detail = shownDetail(m_notice);
    qreal textHeight = heightOf(titleLines(m_notice.title), titleFont());
    if (!detail.lines.isEmpty())
        textHeight += 3 + heightOf(detail.lines, detailFont());
    if (m_notice.count > detail.failures)
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
    if (const QStringList detail = shownDetailLines(); !detail.isEmpty()) {
        p.setPen(theme.secondary());
        y = drawLines(p, detail, left, y + 3, textWidth);
    }
    if (const QString more = shownCountLine(); !more.isEmpty()) {
        y += 3;
        p.setPen(Theme::failure());
        p.drawText(QRectF(left, y, textWidth, QFontMetricsF(detailFont()).height()), Qt::AlignLeft, more);
    }
}

} // namespace vesk
