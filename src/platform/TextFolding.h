#pragma once

#include <QString>

namespace vesk {

// The text with accents and other marks dropped and compatibility forms replaced by their plain
// ones (full-width "Ａ" becomes "A", "ﬁ" becomes "fi"), recomposed to one normal form. Case is
// kept. Text without anything to fold comes back as it is.
QString foldDiacriticsAndWidth(const QString& text);

// Whether every character of text is plain ASCII (nothing to normalise or fold).
bool isAsciiText(QStringView text);

} // namespace vesk
