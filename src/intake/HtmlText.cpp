#include "intake/HtmlText.h"

#include "platform/Graphemes.h"

#include <QRegularExpression>
#include <QStringList>

namespace vesk {

namespace {

constexpr auto kCaseless = QRegularExpression::CaseInsensitiveOption;
constexpr auto kUnicode = QRegularExpression::UseUnicodePropertiesOption;

} // namespace

QString decodeHTMLEntities(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    result.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    result.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    result.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    result.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    result.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return result;
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
