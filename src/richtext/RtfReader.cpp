#include "richtext/RtfReader.h"

#include "richtext/RtfParser.h"

namespace vesk {

QString RtfContent::plainText() const
{
    QString text;
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            text.append(QLatin1Char('\n'));
        for (const RtfRun& run : paragraphs[i].runs)
            text.append(run.text);
    }
    return text;
}

bool looksLikeRtf(QByteArrayView bytes)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r'
                                    || bytes[start] == '\n'))
        ++start;
    return bytes.sliced(start).startsWith(QByteArrayView("{\\rtf"));
}

std::optional<RtfContent> parseRtf(QByteArrayView bytes, const RtfReaderLimits& limits, bool* truncated)
{
    if (truncated)
        *truncated = false;
    if (!looksLikeRtf(bytes))
        return std::nullopt;
    qsizetype start = 0;
    while (bytes[start] != '{')
        ++start;
    RtfParser parser(bytes.sliced(start), limits);
    RtfContent content = parser.run();
    if (truncated)
        *truncated = parser.truncated();
    return content;
}

QString hyperlinkFromFieldInstruction(const QString& instruction)
{
    const QString text = instruction.trimmed();
    if (!text.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    qsizetype i = 9;
    const qsizetype n = text.size();
    auto skipSpaces = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    auto readToken = [&]() -> QString {
        skipSpaces();
        if (i >= n)
            return {};
        if (text[i] == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype stop = end < 0 ? n : end;
            QString token = text.mid(i + 1, stop - i - 1);
            i = end < 0 ? n : end + 1;
            return token;
        }
        const qsizetype begin = i;
        while (i < n && !text[i].isSpace())
            ++i;
        return text.mid(begin, i - begin);
    };
    QString target;
    QString fragment;
    while (i < n) {
        skipSpaces();
        if (i >= n)
            break;
        if (text[i] == QLatin1Char('\\')) {
            // A switch: \l (a place in the target), \o, \t and \m take an argument; \h and \n none.
            const QChar sw = i + 1 < n ? text[i + 1].toLower() : QChar();
            i += 2;
            if (sw == QLatin1Char('l'))
                fragment = readToken().trimmed();
            else if (sw == QLatin1Char('o') || sw == QLatin1Char('t') || sw == QLatin1Char('m'))
                readToken();
            continue;
        }
        const QString token = readToken().trimmed();
        if (target.isEmpty())
            target = token;
    }
    if (target.isEmpty())
        return {};
    if (!fragment.isEmpty() && !target.contains(QLatin1Char('#')))
        target += QLatin1Char('#') + fragment;
    return target;
}

} // namespace vesk
