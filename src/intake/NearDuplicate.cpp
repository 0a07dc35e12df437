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

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char* word :
             {"the", "and", "for", "that", "with", "this", "from", "have", "your", "you",
              "are", "was", "were", "but", "not", "into", "its", "our", "out", "can",
              "will", "just", "than", "then", "they", "them", "there", "what", "when", "where",
              "which", "who", "why", "how", "has", "had", "his", "her", "she", "him"})
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

bool isSecure(const VeskItem& item)
{
    return item.searchableText.contains(QLatin1String("__vesk_secure__"))
        || item.searchableText.contains(QLatin1String("__vesk_secure_credit_card__"));
}

} // namespace

QString normalizedForNearDuplicate(const QString& text)
{
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
    const QStringList words = normalizedText.split(QRegularExpression(QStringLiteral("\\s+")),
                                                   Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word.size() >= 3 && !stopWords().contains(word))
            keywords.insert(word);
    }
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

std::optional<VeskItem> findSimilarTextIn(const QList<VeskItem>& items, const QString& text)
{
    const QString query = normalizedForNearDuplicate(text);
    if (query.size() < kMinimumLength)
        return std::nullopt;
    const QSet<QString> queryKeywords = keywordSet(query);
    if (queryKeywords.size() < kMinimumKeywords)
        return std::nullopt;

    std::optional<VeskItem> best;
    double bestScore = 0.0;
    for (const VeskItem& item : items) {
        if (item.kind != VeskKind::Text || isSecure(item))
            continue;
        const QString itemText = item.text.value_or(QString()).trimmed();
        if (itemText.isEmpty())
            continue;
        const QString candidate = normalizedForNearDuplicate(itemText);
        if (candidate.size() < kMinimumLength)
            continue;
        if (candidate == query)
            return item;
        const QSet<QString> candidateKeywords = keywordSet(candidate);
        if (candidateKeywords.size() < kMinimumKeywords)
            continue;

        const qsizetype shared = QSet<QString>(candidateKeywords).intersect(queryKeywords).size();
        const qsizetype unionSize = candidateKeywords.size() + queryKeywords.size() - shared;
        if (unionSize == 0)
            continue;
        const double jaccard = double(shared) / double(unionSize);
        const double containment = double(shared)
            / double(std::max<qsizetype>(1, std::min(candidateKeywords.size(), queryKeywords.size())));
        const qsizetype n = std::min({query.size(), candidate.size(), kPrefixWindow});
        const double prefix = prefixSimilarity(query.left(n), candidate.left(n));
        const double score = kJaccardWeight * jaccard + kContainmentWeight * containment
            + kPrefixWeight * prefix;

        const bool qualifies = (score >= kScoreThreshold && shared >= kMinimumSharedForScore)
            || (containment >= kContainmentThreshold && jaccard >= kJaccardWithContainment);
        if (qualifies && (!best || score > bestScore)) {
            best = item;
            bestScore = score;
        }
    }
    return best;
}

} // namespace vesk
