#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace vesk {

struct VeskItem;

// Weight of an item's age: under a day (or in the future) 1.0, under 7 days 0.74, under 30 days
// 0.48, under 120 days 0.24, otherwise 0.08. An invalid date counts as old.
double recencyFactor(const QDateTime& createdAt, const QDateTime& now);
// The same by milliseconds since 1970 (rankingTime's value for an invalid date counts as old).
double recencyFactor(qint64 createdAtMs, qint64 nowMs);
// A result's share of it: kResultRecencyWeight times the factor.
double recencyBonus(const QDateTime& createdAt, const QDateTime& now);
// The same by milliseconds since 1970 (rankingTime's value for an invalid date counts as old).
double recencyBonus(qint64 createdAtMs, qint64 nowMs);

// How a search result's final score is made, shared by the lexical refresh and the deep pass.
// A use weighs this much of the usage score (0 to 1) in the final score...
inline constexpr double kResultUsageWeight = 0.9;
// ...and the item's age this much of its recency factor (recencyBonus).
inline constexpr double kResultRecencyWeight = 0.55;
// The least cosine between the query and an item that counts as meaning: below it an item earns
// no semantic score. Set by how the sentence vectors spread: unrelated texts stay under it.
inline constexpr double kSemanticScoreFloor = 0.24;
// Cosine from which a semantic score is weighed more (and the weights of each band).
inline constexpr double kSemanticCloseFloor = 0.46;
inline constexpr double kSemanticNearFloor = 0.32;
inline constexpr double kSemanticCloseWeight = 15.0;
inline constexpr double kSemanticNearWeight = 9.0;
inline constexpr double kSemanticFloorWeight = 4.5;

// The score a cosine to the query earns: cosine x 15 from 0.46, x 9 from 0.32, x 4.5 from the
// floor; none below the floor.
inline std::optional<double> semanticScore(double cosine)
{
    if (cosine >= kSemanticCloseFloor)
        return cosine * kSemanticCloseWeight;
    if (cosine >= kSemanticNearFloor)
        return cosine * kSemanticNearWeight;
    if (cosine >= kSemanticScoreFloor)
        return cosine * kSemanticFloorWeight;
    return std::nullopt;
}

// A result's final score: lexical + semantic + the item's age bonus (recencyBonus) + its use,
// added in this order (the lexical refresh has no semantic score: 0).
inline double resultScore(double lexical, double semantic, qint64 createdAtMs, qint64 nowMs, double usage)
{
    return lexical + semantic + recencyBonus(createdAtMs, nowMs) + usage * kResultUsageWeight;
}

// Scores closer than 0.0001 are meant to count as equal. "Closer than" is not transitive, so it
// cannot order a sort; scores are compared by their 0.0001 step instead, which keeps the intent
// and is a strict weak ordering.
qint64 rankingStep(double score);
// Creation time used for ordering; the distant past when the date is invalid or absent.
inline qint64 rankingTime(const QDateTime& createdAt)
{
    return createdAt.isValid() ? createdAt.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}
// Higher score step first, then the newer item.
inline bool rankedBefore(double scoreA, qint64 createdA, double scoreB, qint64 createdB)
{
    const qint64 stepA = rankingStep(scoreA);
    const qint64 stepB = rankingStep(scoreB);
    if (stepA != stepB)
        return stepA > stepB;
    return createdA > createdB;
}

// The store's stable list sorts: equal elements keep their order.

// Newest createdAt first.
void sortItemsNewestFirst(QList<VeskItem>& items);
// The library's order for an empty search: brought-back items first, then the rest, each part
// newest first.
QList<VeskItem> defaultOrder(const QList<VeskItem>& items, const QSet<QUuid>& broughtBackIDs);
// Ranking order of (item, score) pairs.
void sortRankedItems(QList<std::pair<VeskItem, double>>& ranked);

// Pairs by their second member, highest first.
template <typename Pair>
void sortByScoreDescending(QList<Pair>& pairs)
{
    std::stable_sort(pairs.begin(), pairs.end(),
        [](const Pair& a, const Pair& b) { return a.second > b.second; });
}

// (identifier, date) pairs, earliest first.
template <typename Pair>
void sortDueDates(QList<Pair>& pairs)
{
    std::stable_sort(pairs.begin(), pairs.end(),
        [](const Pair& a, const Pair& b) { return a.second < b.second; });
}

// Values with a `name`, ascending by localized, case-insensitive comparison.
template <typename Value>
void sortByName(QList<Value>& values)
{
    std::stable_sort(values.begin(), values.end(), [](const Value& a, const Value& b) {
        return QString::localeAwareCompare(a.name.toLower(), b.name.toLower()) < 0;
    });
}

// Person pool summaries: most faces first, equal counts by the pool identifier's text.
template <typename Summary>
void sortFaceClusterSummaries(QList<Summary>& summaries)
{
    std::stable_sort(summaries.begin(), summaries.end(), [](const Summary& a, const Summary& b) {
        if (a.faceCount != b.faceCount)
            return a.faceCount > b.faceCount;
        return a.id.toString(QUuid::WithoutBraces).toUpper()
            < b.id.toString(QUuid::WithoutBraces).toUpper();
    });
}

// Faces without a pool: newest first.
template <typename Record>
void sortFacesNewestFirst(QList<Record>& faces)
{
    std::stable_sort(faces.begin(), faces.end(), [](const Record& a, const Record& b) {
        return rankingTime(a.createdAt) > rankingTime(b.createdAt);
    });
}

// Suggestions: highest similarity first.
template <typename Suggestion>
void sortFaceSuggestions(QList<Suggestion>& suggestions)
{
    std::stable_sort(suggestions.begin(), suggestions.end(),
        [](const Suggestion& a, const Suggestion& b) { return a.similarity > b.similarity; });
}

} // namespace vesk
