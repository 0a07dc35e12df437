#pragma once
// The symbols the preview pane shows on every item (the tag entry's, the Bring Back menu's, the
// related panels' headers...), drawn once per look and kept: each shown item drew them again.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vesk {

// As IconMap::pixmap and IconMap::icon, for the pane's widgets on the main thread.
QPixmap paneSymbolPixmap(const QString& symbol, const QColor& colour, int size, qreal devicePixelRatio);
QIcon paneSymbolIcon(const QString& symbol, const QColor& colour, int size);

} // namespace vesk
