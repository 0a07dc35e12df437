#pragma once

#include <QString>

namespace vesk {

// Number of user-perceived characters (grapheme clusters) in text.
qsizetype graphemeCount(const QString& text);

// The first `count` user-perceived characters of text; never splits a surrogate pair, a
// combining sequence or an emoji sequence. Reads about as much of text as it returns, however
// long text is.
QString leftGraphemes(QStringView text, qsizetype count);

} // namespace vesk
