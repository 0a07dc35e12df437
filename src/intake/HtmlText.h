#pragma once

#include <QString>
#include <optional>

namespace vesk {

// Most characters a page contributes as text.
inline constexpr qsizetype kMaxPageTextCharacters = 120'000;

// Decodes character references: first "&nbsp;" (as a plain space), "&amp;", "&lt;", "&gt;",
// "&quot;" and "&#39;" in that order, then numeric references (decimal and hexadecimal; one that
// names no character becomes U+FFFD) and the other named references of HTML. Text that only looks
// like a reference ("&T;", "& b;") stays as written.
QString decodeHTMLEntities(const QString& text);

// The readable text of a page: scripts, styles and tags removed, block elements as line breaks,
// blank lines dropped, at most kMaxPageTextCharacters characters.
QString plainTextFromHTML(const QString& html);

// The contents of the first <title> element that lies on one line, decoded; none when absent or
// blank.
std::optional<QString> htmlTitle(const QString& html);

} // namespace vesk
