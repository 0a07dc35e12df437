#pragma once

#include <QString>

namespace vesk {

// A text as it must be given to a menu entry or a button to be shown as written: Qt reads a single
// "&" there as the mark of a keyboard mnemonic and shows the next letter underlined instead
// ("Trips & Food" would read "Trips _Food"). Vesk's menus and buttons have no mnemonics, so every
// "&" is doubled, which Qt shows as one.
inline QString controlText(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return escaped;
}

} // namespace vesk
