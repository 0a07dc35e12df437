#include "richtext/RichTextLinks.h"

#include "richtext/RichTextFormat.h"

#include <QRegularExpression>
#include <algorithm>
#include <QTextDocument>

namespace vesk {

namespace {

bool isTrailingPunctuation(QChar c)
{
    return QStringLiteral(".,;:!?)]").contains(c);
}

// Drops trailing punctuation, keeping a closing parenthesis that closes one inside the address
// (as in wiki addresses).
qsizetype trimmedLinkLength(const QString& candidate, bool keepBalancedParenthesis)
{
    qsizetype length = candidate.size();
    while (length > 0 && isTrailingPunctuation(candidate[length - 1])) {
        if (keepBalancedParenthesis && candidate[length - 1] == QLatin1Char(')')) {
            const QStringView head = QStringView(candidate).first(length);
            if (head.count(QLatin1Char('(')) >= head.count(QLatin1Char(')')))
                break;
        }
        --length;
    }
    return length;
}

bool linkedAt(const QTextDocument& document, int index)
{
    return hasLink(charFormatAt(document, index));
}

void addLink(QTextDocument& document, const DetectedLink& link)
{
    const QString href = QString::fromUtf8(link.url.toEncoded());
    transformRuns(document, link.start, link.start + link.length, [&href](QTextCharFormat& format) {
        if (hasLink(format))
            return;
        format.setAnchor(true);
        format.setAnchorHref(href);
        format.setProperty(kDetectedLinkProperty, true);
    });
}

} // namespace

QList<DetectedLink> findSchemeLinks(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "(?i)(?<![\\w@.%+-])(?:"
        "(?:https?|ftp)://[^\\s<>\"]+"
        "|mailto:[^\\s<>\"]+"
        "|[A-Z0-9._%+-]+@(?:[A-Z0-9](?:[A-Z0-9-]{0,62}[A-Z0-9])?\\.)+[A-Z]{2,63}(?![\\w@-])"
        ")"));
    QList<DetectedLink> links;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString candidate = match.captured(0);
        const qsizetype length = trimmedLinkLength(candidate, true);
        if (length == 0)
            continue;
        const QString address = candidate.left(length);
        const bool isEmail = !address.contains(QLatin1Char(':')) && address.contains(QLatin1Char('@'));
        const QUrl url(isEmail ? QStringLiteral("mailto:") + address : address, QUrl::TolerantMode);
        if (!url.isValid() || url.scheme().isEmpty())
            continue;
        if (!isEmail && url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) != 0 && url.host().isEmpty())
            continue;
        links.append(DetectedLink{int(match.capturedStart()), int(length), url});
    }
    return links;
}

QList<DetectedLink> findBareDomainLinks(const QString& text)
{
    // The second look-behind keeps a match from starting inside a dotted name ("a.b.c..."): every
    // such start would rescan the rest of the name, which makes long runs of labels take quadratic
    // time. A name is still found from its first label.
    static const QRegularExpression pattern(QStringLiteral(
        "(?i)(?<![@A-Z0-9_-])(?<![A-Z0-9-]\\.)((?:www\\.)?(?:[A-Z0-9](?:[A-Z0-9-]{0,62}[A-Z0-9])?\\.)+"
        "(?:com|org|net|edu|gov|io|co|us|dev|app|ai|me|tv|info|biz|xyz)(?::\\d{1,5})?(?:/[^\\s<>\"']*)?)"));
    QList<DetectedLink> links;
    if (!pattern.isValid())
        return links;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength(1) <= 0)
            continue;
        const QString candidate = match.captured(1);
        const qsizetype length = trimmedLinkLength(candidate, false);
        if (length == 0)
            continue;
        const QUrl url(QStringLiteral("https://") + candidate.left(length), QUrl::StrictMode);
        if (!url.isValid())
            continue;
        links.append(DetectedLink{int(match.capturedStart(1)), int(length), url});
    }
    return links;
}

void detectLinks(QTextDocument& document)
{
    if (documentLength(document) == 0)
        return;
    const QString text = documentText(document);
    for (const DetectedLink& link : findSchemeLinks(text)) {
        if (!linkedAt(document, link.start))
            addLink(document, link);
    }
    // The second pass skips what the first linked, because its first character now has a link.
    for (const DetectedLink& link : findBareDomainLinks(text)) {
        if (!linkedAt(document, link.start))
            addLink(document, link);
    }
}

namespace {

struct LinkSpan {
    int start = 0;
    int end = 0;
    QString href;
    bool marked = false;  // some part carries the detection mark
};

// Maximal spans of one link address, checklist glyph links excluded.
QList<LinkSpan> linkSpans(const QTextDocument& document)
{
    QList<LinkSpan> spans;
    for (const CharRun& run : charRuns(document, 0, documentLength(document))) {
        if (!hasLink(run.format) || QUrl(run.format.anchorHref()).scheme() == QLatin1String("vesk-check"))
            continue;
        const bool marked = run.format.boolProperty(kDetectedLinkProperty);
        if (!spans.isEmpty() && spans.last().end == run.start && spans.last().href == run.format.anchorHref()) {
            spans.last().end = run.end;
            spans.last().marked = spans.last().marked || marked;
        } else {
            spans.append(LinkSpan{run.start, run.end, run.format.anchorHref(), marked});
        }
    }
    return spans;
}

bool looksDetected(const LinkSpan& span, const QString& text)
{
    if (span.marked)
        return true;
    // Links read back from stored text carry no mark: their address gives them away.
    const QString shown = text.mid(span.start, span.end - span.start);
    const QUrl href(span.href);
    for (const QString& candidate : {shown, QStringLiteral("https://") + shown, QStringLiteral("mailto:") + shown}) {
        if (QUrl(candidate, QUrl::TolerantMode) == href)
            return true;
    }
    return false;
}

} // namespace

void refreshDetectedLinks(QTextDocument& document)
{
    const QString text = documentText(document);
    QList<LinkSpan> detected;
    QList<LinkSpan> kept;  // set by hand: they win over detection
    for (const LinkSpan& span : linkSpans(document))
        (looksDetected(span, text) ? detected : kept).append(span);

    auto coveredBy = [](const QList<LinkSpan>& spans, int index) {
        for (const LinkSpan& span : spans) {
            if (index >= span.start && index < span.end)
                return true;
        }
        return false;
    };
    QList<LinkSpan> wanted;
    for (const DetectedLink& link : findSchemeLinks(text)) {
        if (!coveredBy(kept, link.start))
            wanted.append(LinkSpan{link.start, link.start + link.length, QString::fromUtf8(link.url.toEncoded())});
    }
    const QList<LinkSpan> firstPass = wanted;
    for (const DetectedLink& link : findBareDomainLinks(text)) {
        if (!coveredBy(kept, link.start) && !coveredBy(firstPass, link.start))
            wanted.append(LinkSpan{link.start, link.start + link.length, QString::fromUtf8(link.url.toEncoded())});
    }

    auto same = [](const LinkSpan& a, const LinkSpan& b) {
        return a.start == b.start && a.end == b.end && a.href == b.href;
    };
    for (const LinkSpan& span : detected) {
        if (std::none_of(wanted.cbegin(), wanted.cend(), [&](const LinkSpan& w) { return same(w, span); })) {
            transformRuns(document, span.start, span.end, [](QTextCharFormat& format) {
                format.clearProperty(QTextFormat::IsAnchor);
                format.clearProperty(QTextFormat::AnchorHref);
                format.clearProperty(kDetectedLinkProperty);
                format.clearForeground();
            });
        }
    }
    for (const LinkSpan& span : wanted) {
        if (std::any_of(detected.cbegin(), detected.cend(), [&](const LinkSpan& d) { return same(d, span); }))
            continue;
        transformRuns(document, span.start, span.end, [&span](QTextCharFormat& format) {
            if (hasLink(format))
                return;
            format.setAnchor(true);
            format.setAnchorHref(span.href);
            format.setProperty(kDetectedLinkProperty, true);
        });
    }
}

QString addLinkPrefill(const QString& clipboardText)
{
    const QString trimmed = clipboardText.trimmed();
    if (trimmed.isEmpty() || !trimmed.contains(QLatin1Char('.')) || trimmed.contains(QLatin1Char(' ')))
        return {};
    return trimmed;
}

std::optional<QUrl> addLinkURL(const QString& typed)
{
    QString address = typed.trimmed();
    if (address.isEmpty())
        return std::nullopt;
    if (!address.contains(QLatin1String("://")))
        address.prepend(QLatin1String("https://"));
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

bool isOpenableLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"));
}

} // namespace vesk
