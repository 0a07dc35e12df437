#include "richtext/SmartPunctuation.h"

#include <algorithm>

namespace vesk {

namespace {

constexpr char16_t kEmDash = u'\u2014';

bool opensQuote(std::optional<QChar> before)
{
    if (!before)
        return true;
    const QChar c = *before;
    return c.isSpace() || c == QChar::LineSeparator || c == QChar::ParagraphSeparator
        || QStringLiteral("([{\u201C\u2018\u2014").contains(c);
}

std::optional<QString> smartQuote(QChar typed, std::optional<QChar> before)
{
    const bool opening = opensQuote(before);
    if (typed == QLatin1Char('"'))
        return QString(opening ? QChar(u'\u201C') : QChar(u'\u201D'));
    if (typed == QLatin1Char('\''))
        return QString(opening ? QChar(u'\u2018') : QChar(u'\u2019'));
    return std::nullopt;
}

} // namespace

std::optional<SmartTyping> smartTyping(const QString& text, int selectionStart, int selectionLength, QChar typed)
{
    const int n = int(text.size());
    const int start = std::clamp(selectionStart, 0, n);
    const int length = std::clamp(selectionLength, 0, n - start);
    auto charBefore = [&text](int index) -> std::optional<QChar> {
        if (index <= 0)
            return std::nullopt;
        return text[index - 1];
    };

    // "--" followed by something else than a third hyphen or a line break.
    const bool doubleHyphen = length == 0 && start >= 2 && text[start - 1] == QLatin1Char('-')
        && text[start - 2] == QLatin1Char('-') && (start < 3 || text[start - 3] != QLatin1Char('-'));
    if (doubleHyphen && typed != QLatin1Char('-') && typed != QLatin1Char('\n') && typed != QLatin1Char('\r')) {
        const QString after = smartQuote(typed, QChar(kEmDash)).value_or(QString(typed));
        return SmartTyping{start - 2, 2, QString(QChar(kEmDash)) + after};
    }
    if (const std::optional<QString> quote = smartQuote(typed, charBefore(start)))
        return SmartTyping{start, length, *quote};
    return std::nullopt;
}

} // namespace vesk
