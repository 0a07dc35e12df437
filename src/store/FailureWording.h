#pragma once
// Internal to src/store/: how failure notices name an item.

#include <QString>

namespace vesk {

// The item's title in curly quotes, cut to a readable length; "An item" for an empty title.
QString quotedItemTitle(const QString& title);

} // namespace vesk
