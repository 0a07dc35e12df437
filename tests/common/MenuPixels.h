#pragma once

#include <QColor>
#include <QImage>
#include <QMenu>

namespace vesk::test {

// Pixels of the entry's row that are clearly red: the destructive colour and nothing else.
inline int reddishPixels(QMenu& menu, QAction* action)
{
    menu.ensurePolished();
    menu.adjustSize();
    const QImage image = menu.grab().toImage();
    const QRect row = menu.actionGeometry(action);
    int count = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() - std::max(c.green(), c.blue()) > 70)
                ++count;
        }
    return count;
}

} // namespace vesk::test
