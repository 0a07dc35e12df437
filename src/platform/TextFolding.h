#pragma once

#include <QString>

namespace vesk {

// The text with accents and other marks dropped and compatibility forms replaced by their plain
// ones (full-width "Ａ" becomes "A", "ﬁ" becomes "fi"), recomposed to one normal form. Case is
// kept. Text without anything to fold comes back as it is.
QString foldDiacriticsAndWidth(const QString& text);

// Whether every character of text is plain ASCII (nothing to normalise or fold).
bool isAsciiText(QStringView text);

// Whether text holds nothing but white space, as QString::trimmed() would leave it empty: read up
// to its first other character, never copied (trimming a dropped text of megabytes copies all of
// it when it ends with a line break).
bool isBlankText(QStringView text);

} // namespace vesk
