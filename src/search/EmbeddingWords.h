#pragma once

#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// One word of English text as the concept embedding reads it: lower case, UTF-8.
struct EnglishWord {
    std::string text;
    // Whether only one space or hyphen stands between it and the word before ("ice cream",
    // "e-mail"), so that the two may form one expression.
    bool followsClosely = false;
};

// The words of text: runs of letters, digits and combining marks, split at everything else,
// apostrophes included ("don't" gives "don" and "t"). Machine markers, runs of word characters
// and "_" that begin with "__", are left out; other runs with "_" are split there.
std::vector<EnglishWord> englishWords(const QString& text);
// The same over UTF-8 text, handing out each word in turn.
void forEachEnglishWord(
    std::string_view utf8, const std::function<void(std::string_view word, bool followsClosely)>& visit);

// Whether a word carries meaning of its own: at least two characters, not only digits, not one of
// the little words of English ("the", "would", "about", ...).
bool isContentWord(std::string_view word);

} // namespace vesk
