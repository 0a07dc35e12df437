#pragma once

#include "search/FoldedView.h"

#include <QString>
#include <QStringView>

#include <string_view>

namespace vesk {

// The forms in which record texts and query terms meet.
//
// The normal form is the text lower-cased, composed (NFC) and with typographic apostrophes and
// quotes written plainly, so that a name pasted from another system, or typed with curly quotes,
// matches what the user types. The folded form of a normal text also drops accents and width
// ("naïve" -> "naive", "Ｚ" -> "z"); the index keeps folded texts, and a term that folding leaves
// as it is matches them, while a term with accents matches only its exact form.

QString searchNormalForm(const QString& text);
// Folds a text that is in normal form already.
QString searchFoldedForm(const QString& normal);

// A query term with leading and trailing punctuation removed ("invoice?" -> "invoice",
// "\"spare" -> "spare"). A leading "#" stays, and so does punctuation inside the term
// ("q3-planning", "14:30"). A term made only of punctuation is kept as it is.
QString trimTermPunctuation(const QString& term);

// Whether word occurs in the UTF-8 text as a whole word, optionally followed by "s" or "es": the
// characters on either side are not letters, marks or numbers.
bool containsWholeWord(FoldedView text, std::string_view word);
inline bool containsWholeWord(std::string_view text, std::string_view word)
{
    return containsWholeWord(FoldedView{text}, word);
}

} // namespace vesk
