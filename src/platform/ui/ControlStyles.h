#pragma once
// One look for the stock controls of every Vesk window: buttons (bordered, prominent, plain and
// destructive), text fields, segmented choices, menus and thin scroll bars, all drawn from the
// theme's colours so nothing shows the desktop's own style beside Vesk's capsules.
//
// A button picks its role with a dynamic property, set before it is shown:
//   button->setProperty("veskRole", "prominent");
// ("bordered" is the default; "plain" and "destructive" are the others).

#include <QColor>
#include <QString>

namespace vesk {

class Theme;

// A colour as a style sheet writes it, with its opacity.
QString cssColor(const QColor& color);

// The application-wide style sheet for the theme's current appearance.
QString applicationStyleSheet(const Theme& theme);

} // namespace vesk
