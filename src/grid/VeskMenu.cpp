#include "grid/VeskMenu.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QStyleOptionMenuItem>

namespace vesk {

void decorateMenuAction(QAction* action, bool checked, bool destructive)
{
    if (checked)
        action->setIcon(IconMap::icon(QStringLiteral("checkmark"), Theme::current().label(), 14));
    action->setProperty("checkmark", checked);
    action->setProperty("destructive", destructive);
}

void VeskMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const
{
    QMenu::initStyleOption(option, action);
    if (action && action->property("destructive").toBool() && action->isEnabled()) {
        const QColor red = Theme::current().destructive();
        option->palette.setColor(QPalette::ButtonText, red);
        option->palette.setColor(QPalette::WindowText, red);
        option->palette.setColor(QPalette::Text, red);
    }
}

} // namespace vesk
