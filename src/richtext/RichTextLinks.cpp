#include "richtext/RichTextLinks.h"

#include "richtext/FormatRuns.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLists.h"

#include "platform/PublicSuffixes.h"

#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>

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

// The host part of an address without a scheme: what comes before its port, path, query or fragment.
QStringView hostOf(QStringView address)
{
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address[i];
        if (c == QLatin1Char(':') || c == QLatin1Char('/') || c == QLatin1Char('?') || c == QLatin1Char('#'))
            return address.first(i);
    }
    return address;
}

// A name that stands for a web site without a scheme: one under a known public suffix, or one
// that begins with "www." and goes on.
bool isWebHostName(QStringView host)
{
    if (host.startsWith(QLatin1String("www."), Qt::CaseInsensitive) && host.size() > 4)
        return true;
    return isUnderPublicSuffix(host);
}

// "README.md", "setup.py" or "libfoo.so" standing alone: a name the shared MIME database takes for a
// file's, with nothing else (no "www.", port, path or query) that only an address has.
// Names under public suffixes that are extensions as well are taken for files: a user who means the
// site writes it with its scheme, "www." or a path.
bool looksLikeFileName(QStringView address)
{
    if (address.startsWith(QLatin1String("www."), Qt::CaseInsensitive) || hostOf(address).size() != address.size())
        return false;
    // The shared MIME database knows extensions ("*.md") and whole names ("makefile.*") alike.
    return !QMimeDatabase().mimeTypesForFileName(address.toString()).isEmpty();
}

} // namespace

QList<DetectedLink> findAddressLinks(const QString& text)
{
    // The last branch is an address without a scheme: a host name, then an optional port and path.
    // Its own look-behind keeps it off file paths ("/home/me/notes.md") and Windows drives; whether
    // the name is a domain at all is asked of the public suffix list below.
    static const QRegularExpression pattern(QStringLiteral(
        "(?i)(?<![\\w@.%+-])(?:"
        "(?:https?|ftp)://[^\\s<>\"]+"
        "|mailto:[^\\s<>\"]+"
        "|[A-Z0-9._%+-]+@(?:[A-Z0-9](?:[A-Z0-9-]{0,62}[A-Z0-9])?\\.)+[A-Z]{2,63}(?![\\w@-])"
        "|(?<![/\\\\:])(?:[A-Z0-9](?:[A-Z0-9-]{0,62}[A-Z0-9])?\\.)+[A-Z][A-Z0-9-]{0,62}(?![\\w@-])"
        "(?::\\d{1,5})?(?:[/?#][^\\s<>\"]*)?"
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
        static const QRegularExpression schemeStart(QStringLiteral("^(?i)(?:(?:https?|ftp)://|mailto:)"));
        const bool hasScheme = schemeStart.match(address).hasMatch();
        const bool isEmail = !hasScheme && address.contains(QLatin1Char('@'));
        if (!hasScheme && !isEmail && (!isWebHostName(hostOf(address)) || looksLikeFileName(address)))
            continue;
        const QString spelled = isEmail ? QStringLiteral("mailto:") + address
                                        : hasScheme ? address : QStringLiteral("https://") + address;
        const QUrl url(spelled, QUrl::TolerantMode);
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

template <typename Format>
void detectLinks(FormatRuns<Format>& runs, const QString& text)
{
    if (text.isEmpty())
        return;
    // Each pass skips matches whose first character is linked already; the second pass thereby
    // skips what the first linked.
    auto linkAll = [&runs](const QList<DetectedLink>& links) {
        QList<TextRange> ranges;
        QStringList hrefs;
        for (const DetectedLink& link : links) {
            const Format* first = runs.at(link.start);
            if (first && formatHasLink(*first))
                continue;
            ranges.append(TextRange{link.start, link.length});
            hrefs.append(QString::fromUtf8(link.url.toEncoded()));
        }
        runs.transformRanges(ranges, [&hrefs](Format& format, qsizetype i) { setDetectedLink(format, hrefs[i]); });
    };
    linkAll(findAddressLinks(text));
    linkAll(findBareDomainLinks(text));
}

template void detectLinks<QTextCharFormat>(FormatRuns<QTextCharFormat>&, const QString&);
template void detectLinks<RtfRunStyle>(FormatRuns<RtfRunStyle>&, const QString&);

void detectLinks(QTextDocument& document)
{
    if (documentLength(document) == 0)
        return;
    FormatRuns<QTextCharFormat> runs = documentFormatRuns(document);
    detectLinks(runs, documentText(document));
    applyFormatRuns(document, runs);
}

namespace {

struct LinkSpan {
    int start = 0;
    int end = 0;
    QString href;
    bool marked = false;  // some part carries the detection mark

    bool sameAs(const LinkSpan& other) const { return start == other.start && end == other.end && href == other.href; }
};

// Maximal spans of one link address, checklist glyph links excluded.
QList<LinkSpan> linkSpans(const FormatRuns<QTextCharFormat>& runs)
{
    QList<LinkSpan> spans;
    for (const FormatRun<QTextCharFormat>& run : runs.runs()) {
        if (!hasLink(run.format) || isChecklistToggleLink(run.format.anchorHref()))
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

// Whether one of the spans (sorted, not overlapping) holds the index.
bool coveredBy(const QList<LinkSpan>& spans, int index)
{
    auto it = std::upper_bound(spans.cbegin(), spans.cend(), index,
                               [](int value, const LinkSpan& span) { return value < span.start; });
    return it != spans.cbegin() && index < std::prev(it)->end;
}

bool containsSpan(const QHash<int, LinkSpan>& byStart, const LinkSpan& span)
{
    const auto it = byStart.constFind(span.start);
    return it != byStart.constEnd() && it->sameAs(span);
}

} // namespace

void refreshDetectedLinks(FormatRuns<QTextCharFormat>& runs, const QString& text)
{
    QList<LinkSpan> detected;
    QList<LinkSpan> kept;  // set by hand: they win over detection
    for (const LinkSpan& span : linkSpans(runs))
        (looksDetected(span, text) ? detected : kept).append(span);

    QList<LinkSpan> schemeLinks;
    for (const DetectedLink& link : findAddressLinks(text)) {
        if (!coveredBy(kept, link.start))
            schemeLinks.append(LinkSpan{link.start, link.start + link.length, QString::fromUtf8(link.url.toEncoded())});
    }
    QList<LinkSpan> bareLinks;
    for (const DetectedLink& link : findBareDomainLinks(text)) {
        if (!coveredBy(kept, link.start) && !coveredBy(schemeLinks, link.start))
            bareLinks.append(LinkSpan{link.start, link.start + link.length, QString::fromUtf8(link.url.toEncoded())});
    }

    QHash<int, LinkSpan> wantedByStart;
    for (const QList<LinkSpan>* list : {&schemeLinks, &bareLinks}) {
        for (const LinkSpan& span : *list)
            wantedByStart.insert(span.start, span);
    }
    QList<TextRange> stale;
    QHash<int, LinkSpan> detectedByStart;
    for (const LinkSpan& span : detected) {
        detectedByStart.insert(span.start, span);
        if (!containsSpan(wantedByStart, span))
            stale.append(TextRange{span.start, span.end - span.start});
    }
    runs.transformRanges(stale, [](QTextCharFormat& format, qsizetype) {
        clearLink(format);
        format.clearProperty(kDetectedLinkProperty);
        format.clearForeground();
    });
    for (const QList<LinkSpan>* list : {&schemeLinks, &bareLinks}) {
        QList<TextRange> ranges;
        QStringList hrefs;
        for (const LinkSpan& span : *list) {
            if (containsSpan(detectedByStart, span))
                continue;
            ranges.append(TextRange{span.start, span.end - span.start});
            hrefs.append(span.href);
        }
        runs.transformRanges(ranges, [&hrefs](QTextCharFormat& format, qsizetype i) { setDetectedLink(format, hrefs[i]); });
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
