#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace vesk {

// Lower-cased, accents and character widths folded, web addresses removed, everything but a-z,
// 0-9 and '#' turned into single spaces, trimmed.
QString normalizedForNearDuplicate(const QString& text);

// The words of a normalised text that have at least 3 characters and are not stop words.
QSet<QString> keywordSet(const QString& normalizedText);

// The share of positions, over the shorter text, at which both texts hold the same character;
// 0 when either is empty.
double prefixSimilarity(const QString& a, const QString& b);

// A new text prepared for the check: none when it is too short or has too few keywords to be
// reported as familiar, whatever the library holds.
struct NearDuplicateQuery {
    QString normalized;
    QSet<QString> keywords;
};
std::optional<NearDuplicateQuery> prepareNearDuplicateQuery(const QString& text);

// Whether an item can ever be compared: a text item that is not secure and whose text is not
// blank.
bool isNearDuplicateCandidate(const VeskItem& item);

// The two keyword measures both acceptance rules weigh, from the sizes of the two keyword sets and
// of their intersection.
struct KeywordOverlap {
    qsizetype shared = 0;
    double jaccard = 0.0;     // shared over the union
    double containment = 0.0; // shared over the smaller set
};
KeywordOverlap keywordOverlap(qsizetype shared, qsizetype queryKeywords, qsizetype itemKeywords);
// Whether an item with this overlap could be accepted whatever the beginning of its text: the
// score rule with the beginnings counted as identical, or the containment rule. It is worked out
// by the very arithmetic the full comparison uses, so an item it refuses the comparison refuses.
bool overlapCanQualify(const KeywordOverlap& overlap);

// How one item compares with the query.
struct NearDuplicateVerdict {
    bool exact = false;      // its normalised text equals the query's
    bool qualifies = false;  // exact, or accepted by the score or the containment rule
    double score = 0.0;
};
NearDuplicateVerdict compareNearDuplicate(const NearDuplicateQuery& query, const VeskItem& item);
// The same for the text of an item known to be a candidate (isNearDuplicateCandidate): a check
// made away from the list compares what it was given of each item.
NearDuplicateVerdict compareNearDuplicateText(const NearDuplicateQuery& query, const ItemText& text);

// A candidate as a check away from the list sees it: its identifier and its text.
struct NearDuplicateCandidate {
    QUuid id;
    ItemText text;
};
// A candidate the check accepted, with what decides between several.
struct NearDuplicateMatch {
    QUuid id;
    bool exact = false;
    double score = 0.0;
    friend bool operator==(const NearDuplicateMatch&, const NearDuplicateMatch&) = default;
};
// The candidates the check accepts for the query, in the order given.
QList<NearDuplicateMatch> acceptedNearDuplicates(const NearDuplicateQuery& query,
                                                 const QList<NearDuplicateCandidate>& candidates);
// The match the check names, as the walk over the list in its order would: the first exact match,
// else the best score, the earlier item on a tie. position gives an item's place in the list, -1
// for one no longer in it (passed over), so that matches found in any order, even against an
// older state of the list, are decided by the list as it is.
std::optional<QUuid> chooseNearDuplicate(const QList<NearDuplicateMatch>& matches,
                                         const std::function<qsizetype(const QUuid&)>& position);

// The text item of items that says nearly the same as text, best score first, the earlier item
// on a tie; an exact normalised match wins at once. Secure items and every kind but text are
// never candidates; short texts and texts with few keywords are never matched.
std::optional<VeskItem> findSimilarTextIn(const QList<VeskItem>& items, const QString& text);
// What a check off the main thread needs of the library: its text items, in list order, each
// holding only what the check reads and what names a match (identifier, kind, title, text and
// searchable text). findSimilarTextIn chooses among them as among the whole list. Items the check
// refuses for what their texts hold are left for it to refuse: that would mean reading every text.
QList<VeskItem> nearDuplicateSnapshot(const QList<VeskItem>& items);
// The same choice among the items of `items` named in candidates only (those a
// NearDuplicateIndex hands out), still in list order.
std::optional<VeskItem> findSimilarTextAmong(
    const QList<VeskItem>& items, const NearDuplicateQuery& query, const QSet<QUuid>& candidates);

// The stop words of keywordSet, and its words handed out one by one (repeats included) as views
// into the text, which is split at ASCII white space.
bool isNearDuplicateStopWord(QStringView word);
template <typename Visit>
void forEachNearDuplicateKeyword(QStringView normalizedText, Visit&& visit)
{
    qsizetype start = 0;
    const qsizetype size = normalizedText.size();
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size) {
            const char16_t c = normalizedText[i].unicode();
            if (c != u' ' && (c < u'\t' || c > u'\r'))
                continue;
        }
        const QStringView word = normalizedText.mid(start, i - start);
        start = i + 1;
        if (word.size() >= 3 && !isNearDuplicateStopWord(word))
            visit(word);
    }
}

} // namespace vesk
