#include "pane/PaneIcons.h"

#include "platform/ui/IconMap.h"

#include <QGuiApplication>
#include <QHash>

namespace vesk {

namespace {

// A symbol drawn in one colour at one size: the pane uses a few dozen of them at most, across
// both appearances.
QString key(const QString& symbol, const QColor& colour, int size, qreal devicePixelRatio)
{
    return symbol + QLatin1Char('|') + QString::number(colour.rgba64(), 16) + QLatin1Char('|')
        + QString::number(size) + QLatin1Char('|') + QString::number(devicePixelRatio);
}

// Enough for every symbol of the pane in every colour it takes; past it, the oldest looks go.
constexpr qsizetype kKept = 256;

} // namespace

QPixmap paneSymbolPixmap(const QString& symbol, const QColor& colour, int size, qreal devicePixelRatio)
{
    static QHash<QString, QPixmap> kept;
    const QString name = key(symbol, colour, size, devicePixelRatio);
    if (const auto found = kept.constFind(name); found != kept.cend())
        return *found;
    if (kept.size() >= kKept)
        kept.clear();
    return *kept.insert(name, IconMap::pixmap(symbol, colour, size, devicePixelRatio));
}

QIcon paneSymbolIcon(const QString& symbol, const QColor& colour, int size)
{
    static QHash<QString, QIcon> kept;
    const QString name = key(symbol, colour, size, qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
    if (const auto found = kept.constFind(name); found != kept.cend())
        return *found;
    if (kept.size() >= kKept)
        kept.clear();
    return *kept.insert(name, IconMap::icon(symbol, colour, size));
}

} // namespace vesk
