#pragma once
// Smart quotes and dashes for the rich-text editor: what a typed quote or the character after a
// double hyphen becomes.

#include <QString>
#include <optional>

namespace vesk {

struct SmartTyping {
    int start = 0;   // the range replaced, in the text's indices
    int length = 0;
    QString replacement;
};

// What typing `typed` over [selectionStart, selectionStart + selectionLength) of `text` puts in
// place when smart punctuation changes it; none when the character goes in as typed. A straight
// quote becomes a curly one (opening after a line start, white space or an opening bracket or
// quote, closing elsewhere, so "don't" takes an apostrophe); two hyphens become an em dash when the
// next character is typed, while three or more stay as they are.
std::optional<SmartTyping> smartTyping(const QString& text, int selectionStart, int selectionLength, QChar typed);

} // namespace vesk
