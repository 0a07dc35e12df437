#pragma once
// The preview pane's own style rules, set once on its scroll area: a widget with a style sheet of
// its own parses it and restyles its children each time it is made, and the pane makes its
// content afresh for every item it shows.

#include <QString>

namespace vesk {

class Theme;

// The dynamic property the Bring Back menu button sets while a reminder is scheduled.
inline constexpr char kBringBackScheduledProperty[] = "veskScheduled";

QString previewPaneStyleSheet(const Theme& theme);

} // namespace vesk
