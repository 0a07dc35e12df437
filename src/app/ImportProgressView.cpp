#include "app/ImportProgressView.h"

#include "app/IntakeNoticeBanner.h"
#include "app/NoticeCloseButton.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <cmath>

namespace vesk {

namespace {
constexpr qreal kPadding = 12;
constexpr qreal kSymbolPoints = 13;
constexpr qreal kSpacing = 9;
constexpr qreal kTextWidth = 260;
constexpr qreal kBarHeight = 5;
constexpr qreal kRadius = 12;

QFont titleFont() { return Theme::font(12.5, QFont::DemiBold); }
QFont detailFont() { return Theme::font(11); }
} // namespace

QString ImportProgressView::titleText(const VeskImportProgress& progress)
{
    return QStringLiteral("Importing \u201C") + progress.name + QStringLiteral("\u201D");
}

QString ImportProgressView::detailText(const VeskImportProgress& progress)
{
    const QLocale locale;
    return locale.formattedDataSize(progress.bytesDone, 1, QLocale::DataSizeSIFormat) + QStringLiteral(" of ")
        + locale.formattedDataSize(progress.bytesTotal, 1, QLocale::DataSizeSIFormat);
}

double ImportProgressView::fraction(const VeskImportProgress& progress)
{
    if (progress.bytesTotal <= 0)
        return 0;
    return std::clamp(double(progress.bytesDone) / double(progress.bytesTotal), 0.0, 1.0);
}

ImportProgressView::ImportProgressView(const VeskImportProgress& progress, QWidget* parent)
    : QWidget(parent)
    , m_progress(progress)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setProperty("shadowMargin", shadowMargin);
    m_cancel = new NoticeCloseButton(QStringLiteral("Cancel Import"), this);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { emit cancelRequested(m_progress.importID); });
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
    setProgress(progress);
}

void ImportProgressView::setProgress(const VeskImportProgress& progress)
{
    m_progress = progress;
    setAccessibleName(titleText(progress) + QLatin1Char('\n') + detailText(progress));
    resize(sizeHint());
    update();
}

QSize ImportProgressView::sizeHint() const
{
    const qreal textHeight = QFontMetricsF(titleFont()).height() + 2 + QFontMetricsF(detailFont()).height() + 7 + kBarHeight;
    const qreal width = kPadding * 2 + kSymbolPoints + 4 + kSpacing + kTextWidth + NoticeCloseButton::side;
    const qreal height = kPadding * 2 + textHeight;
    return QSize(int(std::ceil(width)) + 2 * shadowMargin, int(std::ceil(height)) + 2 * shadowMargin);
}

QRectF ImportProgressView::cardRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

void ImportProgressView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRectF card = cardRect();
    m_cancel->move(int(card.right() - kPadding + 4 - NoticeCloseButton::side), int(card.top() + kPadding - 3));
}

void ImportProgressView::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = cardRect();
    const QPainterPath shape = Painting::roundedRect(card, kRadius);
    Painting::drawSoftShadow(p, shape, Theme::black(0.1), 10, QPointF(0, 4));
    p.fillPath(shape, theme.windowBackground(0.92));
    p.fillPath(shape, theme.material(MaterialThickness::UltraThin));
    Painting::stroke(p, shape, theme.primary(0.08), 0.8);

    const QRectF content = card.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    IconMap::paint(p, QRectF(content.left(), content.top(), kSymbolPoints + 4, kSymbolPoints + 4),
                   QStringLiteral("square.and.arrow.down"), VeskIntakeNoticeView::symbolColor(), kSymbolPoints + 2);
    const qreal left = content.left() + kSymbolPoints + 4 + kSpacing;
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF detailMetrics(detailFont());
    qreal y = content.top();
    p.setFont(titleFont());
    p.setPen(theme.label());
    p.drawText(QPointF(left, y + titleMetrics.ascent()),
               titleMetrics.elidedText(titleText(m_progress), Qt::ElideMiddle, kTextWidth));
    y += titleMetrics.height() + 2;
    p.setFont(detailFont());
    p.setPen(theme.secondary());
    p.drawText(QPointF(left, y + detailMetrics.ascent()), detailText(m_progress));
    y += detailMetrics.height() + 7;

    const QRectF track(left, y, kTextWidth, kBarHeight);
    p.fillPath(Painting::capsule(track), theme.primary(0.08));
    const double done = fraction(m_progress);
    if (done > 0) {
        const QRectF bar(track.left(), track.top(), std::max(kBarHeight, track.width() * done), kBarHeight);
        p.fillPath(Painting::capsule(bar), theme.accent());
    }
}

} // namespace vesk
