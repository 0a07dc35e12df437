#include "app/NoticeBanner.h"
#include "app/NoticeText.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kHorizontalPadding = 12;
constexpr qreal kVerticalPadding = 9;
constexpr qreal kSpacing = 9;
constexpr qreal kSymbolPoints = 13;
constexpr qreal kTitlePoints = 12.5;
constexpr qreal kDetailPoints = 11;
constexpr qreal kRadius = 12;

QFont titleFont() { return Theme::font(kTitlePoints, QFont::DemiBold); }
QFont detailFont() { return Theme::font(kDetailPoints); }
} // namespace

NoticeBanner::NoticeBanner(const NoticeBannerLook& look, const QString& title, const std::optional<QString>& detail,
                           QWidget* parent)
    : QWidget(parent)
    , m_look(look)
    , m_title(title)
    , m_detail(detail.value_or(QString()))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(m_detail.isEmpty() ? m_title : m_title + QLatin1Char('\n') + m_detail);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
    resize(sizeHint());
}

QSize NoticeBanner::sizeHint() const
{
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF detailMetrics(detailFont());
    const qreal symbolWidth = kSymbolPoints + 4;
    const qreal titleWidth = std::min<qreal>(titleMetrics.horizontalAdvance(m_title), maximumTextWidth);
    const qreal detailWidth = m_detail.isEmpty() ? 0 : std::min<qreal>(detailMetrics.horizontalAdvance(m_detail), maximumTextWidth);
    // The title has no line limit: it wraps within the maximum width.
    const qreal titleHeight = noticeLines(titleFont(), m_title, maximumTextWidth).size() * titleMetrics.lineSpacing();
    const qreal textHeight = titleHeight + (m_detail.isEmpty() ? 0 : 1 + detailMetrics.height());
    const qreal contentHeight = std::max<qreal>(textHeight, kSymbolPoints + 2);
    const qreal width = kHorizontalPadding * 2 + symbolWidth + kSpacing + std::max(titleWidth, detailWidth);
    const qreal height = kVerticalPadding * 2 + contentHeight;
    return QSize(int(std::ceil(width)) + 2 * shadowMargin, int(std::ceil(height)) + 2 * shadowMargin);
}

QRectF NoticeBanner::bannerRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

void NoticeBanner::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF banner = bannerRect();
    const QPainterPath shape = Painting::roundedRect(banner, kRadius);
    Painting::drawSoftShadow(p, shape, Theme::black(0.1), 10, QPointF(0, 4));
    // The platform's material blurs what is behind; a nearly opaque fill keeps text readable here.
    p.fillPath(shape, theme.windowBackground(0.92));
    p.fillPath(shape, theme.material(MaterialThickness::UltraThin));
    const QColor outline = m_look.outline == NoticeBannerLook::Outline::Accent ? theme.accent(m_look.outlineOpacity)
                                                                               : theme.primary(m_look.outlineOpacity);
    Painting::stroke(p, shape, outline, 0.8);

    const QRectF content = banner.adjusted(kHorizontalPadding, kVerticalPadding, -kHorizontalPadding, -kVerticalPadding);
    const qreal symbolWidth = kSymbolPoints + 4;
    IconMap::paint(p, QRectF(content.left(), content.top(), symbolWidth, content.height()), m_look.symbol,
                   m_look.symbolColor, kSymbolPoints + 2);

    const qreal textLeft = content.left() + symbolWidth + kSpacing;
    const QRectF textArea(textLeft, content.top(), content.right() - textLeft, content.height());
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF detailMetrics(detailFont());
    const QStringList titleLines = noticeLines(titleFont(), m_title, textArea.width());
    const qreal textHeight
        = titleLines.size() * titleMetrics.lineSpacing() + (m_detail.isEmpty() ? 0 : 1 + detailMetrics.height());
    qreal y = textArea.top() + (textArea.height() - textHeight) / 2;
    p.setFont(titleFont());
    p.setPen(theme.label());
    for (const QString& line : titleLines) {
        p.drawText(QRectF(textArea.left(), y, textArea.width(), titleMetrics.lineSpacing()), Qt::AlignLeft, line);
        y += titleMetrics.lineSpacing();
    }
    y += 1;
    if (!m_detail.isEmpty()) {
        p.setFont(detailFont());
        p.setPen(theme.secondary());
        const QString elided = detailMetrics.elidedText(m_detail, Qt::ElideMiddle, textArea.width());
        p.drawText(QRectF(textArea.left(), y, textArea.width(), detailMetrics.height()), Qt::AlignLeft, elided);
    }
}

QString VeskBringBackNoticeView::symbolFor(VeskBringBackNoticeKind kind)
{
    switch (kind) {
    case VeskBringBackNoticeKind::Scheduled: return QStringLiteral("clock.badge.checkmark");
    case VeskBringBackNoticeKind::Returned: return QStringLiteral("arrow.uturn.backward.circle.fill");
    case VeskBringBackNoticeKind::Cancelled: return QStringLiteral("xmark.circle");
    }
    return QStringLiteral("clock.badge.checkmark");
}

VeskBringBackNoticeView::VeskBringBackNoticeView(const VeskBringBackNotice& notice, QWidget* parent)
    : NoticeBanner({symbolFor(notice.kind), Theme::rgb(0.28, 0.68, 1.0), NoticeBannerLook::Outline::Accent, 0.12},
                   notice.title, notice.detail, parent)
    , m_notice(notice)
{
}

} // namespace vesk
