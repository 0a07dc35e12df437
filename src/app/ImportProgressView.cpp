#include "app/ImportProgressView.h"

#include "app/NoticeCloseButton.h"
#include "app/VeskIntakeNoticeView.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kSymbolPoints = 13;
constexpr qreal kSpacing = 9;
constexpr qreal kTextWidth = 260;
constexpr qreal kBarHeight = 5;

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
    : ActionNoticeCard(QStringLiteral("Cancel Import"), parent)
    , m_progress(progress)
{
    connect(closeButton(), &QAbstractButton::clicked, this, [this] { emit cancelRequested(m_progress.importID); });
    setProgress(progress);
}

void ImportProgressView::setProgress(const VeskImportProgress& progress)
{
    // A tick of the same import changes only the count and the bar: repainting just those keeps
    // the card's shadow and the window under it from being painted again ten times a second.
    const bool sameFile = progress.importID == m_progress.importID && progress.name == m_progress.name;
    m_progress = progress;
    setAccessibleName(titleText(progress) + QLatin1Char('\n') + detailText(progress));
    resize(sizeHint());
    if (sameFile)
        update(progressRect());
    else
        update();
}

QRect ImportProgressView::progressRect() const
{
    const QRectF content = contentRect();
    const qreal left = content.left() + kSymbolPoints + 4 + kSpacing;
    const qreal top = content.top() + QFontMetricsF(titleFont()).height() + 2;
    const qreal height = QFontMetricsF(detailFont()).height() + 7 + kBarHeight;
    // A pixel of room around it for antialiased edges.
    return QRectF(left, top, kTextWidth, height).adjusted(-1, -1, 1, 1).toAlignedRect();
}

QSize ImportProgressView::sizeHint() const
{
    const qreal textHeight = QFontMetricsF(titleFont()).height() + 2 + QFontMetricsF(detailFont()).height() + 7 + kBarHeight;
    return sizeFor(QSizeF(kSymbolPoints + 4 + kSpacing + kTextWidth + NoticeCloseButton::side, textHeight));
}

void ImportProgressView::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintCard(p, QColor(Qt::transparent), theme.primary(0.08));

    const QRectF content = contentRect();
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
    if (done > 0)
        p.fillPath(Painting::capsule(QRectF(track.left(), track.top(), std::max(kBarHeight, track.width() * done), kBarHeight)),
                   theme.accent());
}

} // namespace vesk
