#include "app/ReadOnlyBanner.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QPainter>

namespace vesk {

namespace {
constexpr qreal kSymbolPoints = 13;
constexpr qreal kMargin = 14;
} // namespace

ReadOnlyBanner::ReadOnlyBanner(const QString& reason, QWidget* parent) : QWidget(parent), m_text(textFor(reason))
{
    setObjectName(QStringLiteral("readOnlyBanner"));
    setAccessibleName(m_text);
    setFixedHeight(barHeight);
}

QString ReadOnlyBanner::textFor(const QString& reason)
{
    QString sentence = reason;
    if (!sentence.isEmpty())
        sentence[0] = sentence[0].toUpper();
    return sentence + QStringLiteral(": Vesk opened your library read-only.");
}

void ReadOnlyBanner::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), theme.windowBackground());
    p.fillRect(rect(), Theme::failure(0.10));
    p.fillRect(QRectF(0, height() - 1, width(), 1), Theme::failure(0.45));
    const qreal middle = height() / 2.0;
    IconMap::paint(p, QRectF(kMargin, middle - kSymbolPoints / 2 - 2, kSymbolPoints + 4, kSymbolPoints + 4),
                   QStringLiteral("exclamationmark.triangle"), Theme::failure(), kSymbolPoints);
    p.setFont(Theme::font(12, QFont::DemiBold));
    p.setPen(theme.label());
    const qreal left = kMargin + kSymbolPoints + 4 + 8;
    p.drawText(QRectF(left, 0, width() - left - kMargin, height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

} // namespace vesk
