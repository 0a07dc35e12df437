#include "search/SearchForms.h"

#include "platform/TextFolding.h"
#include "search/SearchText.h"

#include <algorithm>

namespace vesk {

namespace {

char16_t plainQuote(char16_t c)
{
    switch (c) {
    case 0x2018: case 0x2019: case 0x201A: case 0x201B: case 0x2032:
        return u'\'';
    case 0x201C: case 0x201D: case 0x201E: case 0x201F: case 0x2033:
        return u'"';
    default:
        return c;
    }
}

bool isWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
    return QChar::isLetter(c) || QChar::isMark(c) || QChar::isNumber(c);
}

// The code point that ends just before byte `end` of valid UTF-8 text.
char32_t codePointBefore(std::string_view text, size_t end)
{
    size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    const QString decoded = QString::fromUtf8(text.data() + start, qsizetype(end - start));
    return decoded.isEmpty() ? 0 : decoded.toUcs4().value(0);
}

char32_t codePointAt(std::string_view text, size_t start)
{
    const auto lead = static_cast<unsigned char>(text[start]);
    if (lead < 0x80)
        return lead;
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    length = std::min(length, text.size() - start);
    const QString decoded = QString::fromUtf8(text.data() + start, qsizetype(length));
    return decoded.isEmpty() ? 0 : decoded.toUcs4().value(0);
}

} // namespace

QString searchNormalForm(const QString& text)
{
    QString lowered = lowerText(text);
    if (isAsciiText(lowered))
        return lowered;
    lowered = lowered.normalized(QString::NormalizationForm_C);
    for (QChar& c : lowered)
        c = QChar(plainQuote(c.unicode()));
    return lowered;
}

QString searchFoldedForm(const QString& normal)
{
    if (isAsciiText(normal))
        return normal;
    // Compatibility forms may fold to capitals ("Ⅻ" -> "XII").
    return lowerText(foldDiacriticsAndWidth(normal));
}

QString trimTermPunctuation(const QString& term)
{
    qsizetype start = 0;
    qsizetype end = term.size();
    while (start < end && term.at(start).isPunct() && term.at(start) != QLatin1Char('#'))
        ++start;
    const qsizetype keep = start < end && term.at(start) == QLatin1Char('#') ? start + 1 : start;
    while (end > keep && term.at(end - 1).isPunct())
        --end;
    if (start >= end)
        return term;
    return term.mid(start, end - start);
}

bool containsWholeWord(FoldedView folded, std::string_view word)
{
    const std::string_view text = folded.bytes;
    if (word.empty() || word.size() > text.size())
        return false;
    // Whether a character is a letter or number does not depend on its case.
    for (size_t at = findFolded(folded, word); at != std::string_view::npos; at = findFolded(folded, word, at + 1)) {
        if (at > 0 && isWordCharacter(codePointBefore(text, at)))
            continue;
        const size_t bare = at + word.size();
        for (std::string_view suffix : {std::string_view(), std::string_view("s"), std::string_view("es")}) {
            if (!foldedStartsWith(folded, bare, suffix))
                continue;
            const size_t end = bare + suffix.size();
            if (end == text.size() || !isWordCharacter(codePointAt(text, end)))
                return true;
        }
    }
    return false;
}

} // namespace vesk
