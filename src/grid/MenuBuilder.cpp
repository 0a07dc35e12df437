#include "grid/MenuBuilder.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

namespace vesk {

void decorateMenuAction(QAction* action, bool checked, bool destructive)
{
    if (checked)
        action->setIcon(IconMap::icon(QStringLiteral("checkmark"), Theme::current().label(), 14));
    action->setProperty("checkmark", checked);
    action->setProperty("destructive", destructive);
}

} // namespace vesk
