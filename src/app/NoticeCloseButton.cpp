#include "app/NoticeCloseButton.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace vesk {

NoticeCloseButton::NoticeCloseButton(const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setFixedSize(side, side);
}

void NoticeCloseButton::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (underMouse() || isDown()) {
        QPainterPath disc;
        disc.addEllipse(QRectF(rect()));
        p.fillPath(disc, theme.primary(isDown() ? 0.14 : 0.08));
    }
    IconMap::paint(p, rect(), QStringLiteral("xmark"), theme.secondary(), 11);
}

} // namespace vesk
