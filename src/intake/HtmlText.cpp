#include "intake/HtmlText.h"

#include "intake/HtmlEntityTable.h"

#include "platform/Graphemes.h"

#include <QRegularExpression>
#include <QStringList>

namespace vesk {

namespace {

constexpr auto kCaseless = QRegularExpression::CaseInsensitiveOption;
constexpr auto kUnicode = QRegularExpression::UseUnicodePropertiesOption;

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point a numeric reference names; the replacement character for one that names no
// character (zero, a surrogate half, beyond U+10FFFF, or too many digits to hold).
char32_t numericCodePoint(const QString& digits, int base)
{
    qsizetype firstDigit = 0;
    while (firstDigit + 1 < digits.size() && digits.at(firstDigit) == QLatin1Char('0'))
        ++firstDigit;
    const QStringView significant = QStringView(digits).mid(firstDigit);
    bool ok = false;
    const qulonglong value = significant.size() <= 12 ? significant.toULongLong(&ok, base) : 0;
    if (!ok || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return kReplacementCharacter;
    return char32_t(value);
}

QString codePointText(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1);
}

} // namespace

QString decodeHTMLEntities(const QString& text)
{
    // The common six go first, literally and in this order: "&amp;" before the others, so that a
    // page that escaped an entity twice ("&amp;lt;") still reads as the character it meant.
    QString result = text;
    result.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    result.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    result.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    result.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    result.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    result.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    if (!result.contains(QLatin1Char('&')))
        return result;

    // Then every other reference, in one pass so that what one decodes is never read again.
    static const QRegularExpression reference(
        QStringLiteral("&(?:#([0-9]+)|#[xX]([0-9a-fA-F]+)|([A-Za-z][A-Za-z0-9]{0,31}));"));
    QString decoded;
    decoded.reserve(result.size());
    qsizetype copiedUpTo = 0;
    QRegularExpressionMatchIterator it = reference.globalMatch(result);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QString replacement;
        if (match.hasCaptured(3)) {
            const QByteArray name = match.captured(3).toLatin1();
            const HtmlNamedEntity* entity =
                findHtmlNamedEntity(std::string_view(name.constData(), size_t(name.size())));
            if (!entity)
                continue; // not an entity: "&T;" in prose stays as written
            replacement = codePointText(entity->first);
            if (entity->second)
                replacement += codePointText(entity->second);
        } else {
            const bool decimal = match.hasCaptured(1);
            replacement = codePointText(numericCodePoint(match.captured(decimal ? 1 : 2), decimal ? 10 : 16));
        }
        decoded += QStringView(result).mid(copiedUpTo, match.capturedStart(0) - copiedUpTo);
        decoded += replacement;
        copiedUpTo = match.capturedEnd(0);
    }
    if (copiedUpTo == 0)
        return result;
    decoded += QStringView(result).mid(copiedUpTo);
    return decoded;
}

QString plainTextFromHTML(const QString& html)
{
    static const QRegularExpression script(QStringLiteral("<script\\b[^>]*>[\\s\\S]*?</script>"),
                                           kCaseless | kUnicode);
    static const QRegularExpression style(QStringLiteral("<style\\b[^>]*>[\\s\\S]*?</style>"),
                                          kCaseless | kUnicode);
    static const QRegularExpression noscript(
        QStringLiteral("<noscript\\b[^>]*>[\\s\\S]*?</noscript>"), kCaseless | kUnicode);
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"), kCaseless | kUnicode);
    static const QRegularExpression block(
        QStringLiteral("</?(p|div|section|article|header|footer|li|h[1-6]|tr)[^>]*>"), kCaseless);
    static const QRegularExpression anyTag(QStringLiteral("<[^>]+>"));
    static const QRegularExpression spaces(QStringLiteral("\\s+"), kUnicode);

    QString text = html;
    text.replace(script, QStringLiteral(" "));
    text.replace(style, QStringLiteral(" "));
    text.replace(noscript, QStringLiteral(" "));
    text.replace(lineBreak, QStringLiteral("\n"));
    text.replace(block, QStringLiteral("\n"));
    text.replace(anyTag, QStringLiteral(" "));
    text = decodeHTMLEntities(text);

    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.replace(spaces, QStringLiteral(" "));
        line = line.trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return leftGraphemes(lines.join(QLatin1Char('\n')), kMaxPageTextCharacters);
}

std::optional<QString> htmlTitle(const QString& html)
{
    static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title>"), kCaseless);
    static const QRegularExpression titleTags(QStringLiteral("</?title[^>]*>"), kCaseless);

    const QRegularExpressionMatch match = title.match(html);
    if (!match.hasMatch())
        return std::nullopt;
    QString text = match.captured(0);
    text.replace(titleTags, QString());
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return decodeHTMLEntities(text);
}

} // namespace vesk
