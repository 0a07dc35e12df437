#pragma once

#include "platform/CancellationToken.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <vector>

namespace vesk {

class SearchIndex;

// The result of one lexical pass.
struct LexicalSnapshot {
    QString query;                 // trimmed, lower-cased
    QStringList literalTerms;      // query split at white space, in order
    QStringList expandedTerms;     // literal terms widened by the expansion groups
    QSet<QString> requestedTags;   // "#tag" terms without their "#"
    QSet<QString> plainTagTerms;   // terms not starting with "#"
    QHash<QUuid, double> scores;   // items that scored above 0
    QHash<QUuid, QString> hints;   // the reason of each scored item that has one
    QList<QUuid> rankedIDs;        // keys of scores in ranking order

    friend bool operator==(const LexicalSnapshot&, const LexicalSnapshot&) = default;
};

// Groups of related words that widen a query.
const QList<QStringList>& searchExpansionGroups();

// The terms and every word of each group that holds one of them; only the given terms choose
// groups. Each word once: the terms first, then group words in group order.
QStringList expandTerms(const QStringList& terms);

// Scores the indexed items against query by words, tags and people's names.
LexicalSnapshot lexicalMatch(const SearchIndex& index, const QString& query);

// The same by scoring every item instead of the candidates the index picks; for checks.
LexicalSnapshot lexicalMatchScanningAll(const SearchIndex& index, const QString& query);

// What a lexical pass finds before it is made into a snapshot: the snapshot's query fields, and
// every item that scored above 0 by its index slot, in slot order. The refresh ranks the hits once
// by its own final scores and shows the reasons of a few only, so it takes these instead of the
// snapshot's maps and ranking, which cost more than the scoring for a short query that every item
// matches, and asks lexicalReasons() for the few reasons it shows.
struct LexicalHit {
    // Left unset when made without values: a pass fills hundreds of thousands at once.
    LexicalHit() {}
    LexicalHit(quint32 slot, double score) : slot(slot), score(score) {}

    quint32 slot;
    double score;
};
struct LexicalHits {
    LexicalSnapshot header; // query, terms and tags; no scores, hints or ranking
    std::vector<LexicalHit> hits;
};
// A pass whose token is cancelled meanwhile stops between pieces of the library and finds no hits.
LexicalHits lexicalHits(const SearchIndex& index, const QString& query, const CancellationToken& token = {});

// The reason lexicalMatch() gives each of the items at the chosen slots (a null string for an item
// without one, or that does not score).
QList<QString> lexicalReasons(const SearchIndex& index, const QString& query, const std::vector<quint32>& chosen);

} // namespace vesk
