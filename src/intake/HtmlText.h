#pragma once

#include <QString>
#include <optional>

namespace vesk {

// Most characters a page contributes as text.
inline constexpr qsizetype kMaxPageTextCharacters = 120'000;

// Decodes the few entities pages commonly use: "&nbsp;", "&lt;", "&gt;", "&quot;", "&#39;" and
// "&amp;". "&amp;" goes last so that an escaped entity ("&amp;lt;") stays the literal text "&lt;".
QString decodeHTMLEntities(const QString& text);

// The readable text of a page: scripts, styles and tags removed, block elements as line breaks,
// blank lines dropped, at most kMaxPageTextCharacters characters.
QString plainTextFromHTML(const QString& html);

// The contents of the first <title> element that lies on one line, decoded; none when absent or
// blank.
std::optional<QString> htmlTitle(const QString& html);

} // namespace vesk
