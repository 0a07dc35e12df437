#include "intake/NearDuplicate.h"

#include "platform/TextFolding.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace vesk {

namespace {

constexpr qsizetype kMinimumLength = 48;
constexpr qsizetype kMinimumKeywords = 7;
constexpr qsizetype kPrefixWindow = 320;
constexpr double kJaccardWeight = 0.5;
constexpr double kContainmentWeight = 0.35;
constexpr double kPrefixWeight = 0.15;
constexpr double kScoreThreshold = 0.82;
constexpr qsizetype kMinimumSharedForScore = 7;
constexpr double kContainmentThreshold = 0.92;
constexpr double kJaccardWithContainment = 0.68;

bool isSecure(const VeskItem& item)
{
    // The markers are ASCII: found in the UTF-8 bytes exactly where they are in the text.
    return item.searchableText.utf8().contains("__vesk_secure__")
        || item.searchableText.utf8().contains("__vesk_secure_credit_card__");
}

bool isAsciiSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

bool startsWebAddress(const char16_t* text, qsizetype from, qsizetype size, qsizetype* end)
{
    // "https?://" followed by at least one character that is not white space.
    static constexpr char16_t http[] = u"http";
    if (size - from < 8)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (char16_t(text[from + i] | 0x20) != http[i] || text[from + i] < u'A')
            return false;
    }
    qsizetype i = from + 4;
    if (char16_t(text[i] | 0x20) == u's' && text[i] >= u'A')
        ++i;
    if (size - i < 4 || text[i] != u':' || text[i + 1] != u'/' || text[i + 2] != u'/' || isAsciiSpace(text[i + 3]))
        return false;
    i += 3;
    while (i < size && !isAsciiSpace(text[i]))
        ++i;
    *end = i;
    return true;
}

// The same result as the general path for text made of ASCII characters only, in one pass: no
// case mapping tables, no decomposition and no regular expressions.
QString normalizedAscii(const QString& text)
{
    const char16_t* data = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype size = text.size();
    QString out(size, Qt::Uninitialized);
    char16_t* write = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = write;
    bool pendingSpace = false;
    for (qsizetype i = 0; i < size;) {
        qsizetype end = 0;
        if ((data[i] | 0x20) == u'h' && startsWebAddress(data, i, size, &end)) {
            pendingSpace = true;
            i = end;
            continue;
        }
        char16_t c = data[i++];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + (u'a' - u'A'));
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'#') {
            if (pendingSpace && write != begin)
                *write++ = u' ';
            pendingSpace = false;
            *write++ = c;
        } else {
            pendingSpace = true;
        }
    }
    out.truncate(write - begin);
    return out;
}

bool isAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool isNearDuplicateStopWord(QStringView word)
{
    static constexpr const char* words[] = {"the", "and", "for", "that", "with", "this", "from",
        "have", "your", "you", "are", "was", "were", "but", "not", "into", "its", "our", "out",
        "can", "will", "just", "than", "then", "they", "them", "there", "what", "when", "where",
        "which", "who", "why", "how", "has", "had", "his", "her", "she", "him"};
    if (word.size() > 5)
        return false;
    for (const char* stop : words) {
        if (word == QLatin1String(stop))
            return true;
    }
    return false;
}

QString normalizedForNearDuplicate(const QString& text)
{
    if (isAscii(text))
        return normalizedAscii(text);
    static const QRegularExpression webAddress(QStringLiteral("https?://\\S+"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression notKept(QStringLiteral("[^a-z0-9#]+"));
    static const QRegularExpression spaces(QStringLiteral("\\s+"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    QString normalized = foldDiacriticsAndWidth(text.toLower());
    normalized.replace(webAddress, QStringLiteral(" "));
    normalized.replace(notKept, QStringLiteral(" "));
    normalized.replace(spaces, QStringLiteral(" "));
    return normalized.trimmed();
}

QSet<QString> keywordSet(const QString& normalizedText)
{
    QSet<QString> keywords;
    forEachNearDuplicateKeyword(normalizedText, [&](QStringView word) { keywords.insert(word.toString()); });
    return keywords;
}

double prefixSimilarity(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return 0.0;
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype same = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (a.at(i) == b.at(i))
            ++same;
    }
    return double(same) / double(n);
}

std::optional<NearDuplicateQuery> prepareNearDuplicateQuery(const QString& text)
{
    NearDuplicateQuery query;
    query.normalized = normalizedForNearDuplicate(text);
    if (query.normalized.size() < kMinimumLength)
        return std::nullopt;
    query.keywords = keywordSet(query.normalized);
    if (query.keywords.size() < kMinimumKeywords)
        return std::nullopt;
    return query;
}

bool isNearDuplicateCandidate(const VeskItem& item)
{
    return item.kind == VeskKind::Text && !isSecure(item) && item.text && !item.text->isBlank();
}

KeywordOverlap keywordOverlap(qsizetype shared, qsizetype queryKeywords, qsizetype itemKeywords)
{
    KeywordOverlap overlap;
    overlap.shared = shared;
    const qsizetype unionSize = itemKeywords + queryKeywords - shared;
    if (unionSize <= 0)
        return overlap;
    overlap.jaccard = double(shared) / double(unionSize);
    overlap.containment = double(shared) / double(std::max<qsizetype>(1, std::min(itemKeywords, queryKeywords)));
    return overlap;
}

namespace {

// Rising with prefix, step by step in floating point too: a score worked out with the highest
// prefix is never below the one worked out with the true prefix.
double overlapScore(const KeywordOverlap& overlap, double prefix)
{
    return kJaccardWeight * overlap.jaccard + kContainmentWeight * overlap.containment + kPrefixWeight * prefix;
}

bool qualifies(const KeywordOverlap& overlap, double score)
{
    return (score >= kScoreThreshold && overlap.shared >= kMinimumSharedForScore)
        || (overlap.containment >= kContainmentThreshold && overlap.jaccard >= kJaccardWithContainment);
}

} // namespace

bool overlapCanQualify(const KeywordOverlap& overlap)
{
    return qualifies(overlap, overlapScore(overlap, 1.0));
}

NearDuplicateVerdict compareNearDuplicate(const NearDuplicateQuery& query, const VeskItem& item)
{
    if (!isNearDuplicateCandidate(item))
        return {};
    return compareNearDuplicateText(query, *item.text);
}

NearDuplicateVerdict compareNearDuplicateText(const NearDuplicateQuery& query, const ItemText& text)
{
    NearDuplicateVerdict verdict;
    const QString candidate = normalizedForNearDuplicate(text.toString().trimmed());
    if (candidate.size() < kMinimumLength)
        return verdict;
    if (candidate == query.normalized) {
        verdict.exact = true;
        verdict.qualifies = true;
        return verdict;
    }
    const QSet<QString> candidateKeywords = keywordSet(candidate);
    if (candidateKeywords.size() < kMinimumKeywords)
        return verdict;

    const QSet<QString>& queryKeywords = query.keywords;
    const qsizetype shared = QSet<QString>(candidateKeywords).intersect(queryKeywords).size();
    const KeywordOverlap overlap = keywordOverlap(shared, queryKeywords.size(), candidateKeywords.size());
    const qsizetype n = std::min({query.normalized.size(), candidate.size(), kPrefixWindow});
    const double prefix = prefixSimilarity(query.normalized.left(n), candidate.left(n));
    verdict.score = overlapScore(overlap, prefix);
    verdict.qualifies = qualifies(overlap, verdict.score);
    return verdict;
}

namespace {

template <typename Admit>
std::optional<VeskItem> chooseSimilar(const QList<VeskItem>& items, const NearDuplicateQuery& query, Admit&& admit)
{
    std::optional<VeskItem> best;
    double bestScore = 0.0;
    for (const VeskItem& item : items) {
        if (!admit(item))
            continue;
        const NearDuplicateVerdict verdict = compareNearDuplicate(query, item);
        if (verdict.exact)
            return item;
        if (verdict.qualifies && (!best || verdict.score > bestScore)) {
            best = item;
            bestScore = verdict.score;
        }
    }
    return best;
}

} // namespace

std::optional<VeskItem> findSimilarTextIn(const QList<VeskItem>& items, const QString& text)
{
    const std::optional<NearDuplicateQuery> query = prepareNearDuplicateQuery(text);
    if (!query)
        return std::nullopt;
    return chooseSimilar(items, *query, [](const VeskItem&) { return true; });
}

QList<VeskItem> nearDuplicateSnapshot(const QList<VeskItem>& items)
{
    QList<VeskItem> texts;
    for (const VeskItem& item : items) {
        if (item.kind != VeskKind::Text || !item.text)
            continue;
        VeskItem& kept = texts.emplace_back();
        kept.id = item.id;
        kept.kind = item.kind;
        kept.title = item.title;
        kept.text = item.text;
        kept.searchableText = item.searchableText;
    }
    return texts;
}

QList<NearDuplicateMatch> acceptedNearDuplicates(const NearDuplicateQuery& query,
                                                 const QList<NearDuplicateCandidate>& candidates)
{
    QList<NearDuplicateMatch> matches;
    for (const NearDuplicateCandidate& candidate : candidates) {
        const NearDuplicateVerdict verdict = compareNearDuplicateText(query, candidate.text);
        if (verdict.qualifies)
            matches.append(NearDuplicateMatch{candidate.id, verdict.exact, verdict.score});
    }
    return matches;
}

std::optional<QUuid> chooseNearDuplicate(const QList<NearDuplicateMatch>& matches,
                                         const std::function<qsizetype(const QUuid&)>& position)
{
    const NearDuplicateMatch* best = nullptr;
    qsizetype bestPosition = -1;
    for (const NearDuplicateMatch& match : matches) {
        const qsizetype at = position(match.id);
        if (at < 0)
            continue;
        // The walk stops at the first exact match; before it, a strictly higher score replaces
        // the best, so an equal one met earlier in the list stays.
        const auto rank = [](const NearDuplicateMatch& m) { return std::pair(m.exact ? 1 : 0, m.exact ? 0.0 : m.score); };
        if (!best || rank(match) > rank(*best) || (rank(match) == rank(*best) && at < bestPosition)) {
            best = &match;
            bestPosition = at;
        }
    }
    if (!best)
        return std::nullopt;
    return best->id;
}

std::optional<VeskItem> findSimilarTextAmong(
    const QList<VeskItem>& items, const NearDuplicateQuery& query, const QSet<QUuid>& candidates)
{
    if (candidates.isEmpty())
        return std::nullopt;
    return chooseSimilar(items, query, [&](const VeskItem& item) { return candidates.contains(item.id); });
}

} // namespace vesk
