#pragma once

#include <QString>

namespace vesk {

// Number of user-perceived characters (grapheme clusters) in text.
qsizetype graphemeCount(const QString& text);

// The first `count` user-perceived characters of text; never splits a surrogate pair, a
// combining sequence or an emoji sequence. Reads about as much of text as it returns, however
// long text is.
QString leftGraphemes(QStringView text, qsizetype count);

// The longest beginning of text, in whole user-perceived characters, that is at most maxUnits
// UTF-16 units long (the first character whole when it alone is longer). For cutting text to a
// length for display: a cut by units alone can split a flag, a family or a skin tone, or leave half
// a surrogate pair that shows as "\uFFFD".
QString graphemePrefixWithin(QStringView text, qsizetype maxUnits);

// The last grapheme boundary at or before position in text, found by looking only at the units
// within reach before it and after it; position itself when nothing within reach is a boundary.
qsizetype graphemeBoundaryAtOrBefore(QStringView text, qsizetype position, qsizetype reach = 64);

} // namespace vesk
