#include "search/LexicalMatch.h"

#include "search/Ranking.h"
#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <string>
#include <vector>

namespace vesk {

namespace {

struct Term {
    QString text;
    std::string utf8;
};

// The parsed query, shared read-only by the scoring threads.
struct Query {
    std::string whole;
    bool singleTerm = false;
    std::vector<Term> literal;
    std::vector<Term> extra;    // expanded terms that are not literal terms
    QStringList requestedTags;  // in query order, each once
    QStringList plainTerms;     // in query order, each once
    // Their reasons, made once and shared by every item they are given to.
    QStringList requestedReasons;
    QStringList plainReasons;
};

struct Scored {
    double score = 0.0;
    QString reason;
};

// "big sis" -> "Big Sis".
QString displayName(const QString& name)
{
    QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& word : words) {
        const QStringView first = searchCharacterPrefix(word, 1);
        word = first.toString().toUpper() + word.mid(first.size());
    }
    return words.join(QLatin1Char(' '));
}

Scored scoreEntry(const SearchIndex::Entry& entry, const Query& query)
{
    const SearchRecord& record = entry.record;
    Scored result;
    bool hasReason = false;
    // The first reason found stays; rows without a reason only add points.
    auto add = [&](double points, auto reason) {
        result.score += points;
        if (!hasReason) {
            result.reason = reason();
            hasReason = true;
        }
    };
    auto addPoints = [&](double points) { result.score += points; };

    if (!record.tags.isEmpty()) {
        for (qsizetype i = 0; i < query.requestedTags.size(); ++i) {
            if (record.tags.contains(query.requestedTags[i]))
                add(22.0, [&] { return query.requestedReasons[i]; });
        }
        for (qsizetype i = 0; i < query.plainTerms.size(); ++i) {
            if (record.tags.contains(query.plainTerms[i]))
                add(5.5, [&] { return query.plainReasons[i]; });
        }
    }

    bool allInTitle = true;
    bool allInCombined = true;
    bool firstInTitle = false;
    bool firstInCombined = false;
    for (size_t i = 0; i < query.literal.size(); ++i) {
        const Term& term = query.literal[i];
        const QString* matchedName = nullptr;
        for (const QString& name : record.people) {
            if (name.contains(term.text) && (!matchedName || name < *matchedName))
                matchedName = &name;
        }
        if (matchedName)
            add(12.0, [&] { return QStringLiteral("Contains ") + displayName(*matchedName); });
        const bool inTitle = record.titleContains(term.utf8);
        if (inTitle)
            add(6.0, [] { return QStringLiteral("Matched title"); });
        const bool inNote = record.noteContains(term.utf8);
        if (inNote)
            add(4.5, [] { return QStringLiteral("Matched note"); });
        const bool inSearchable = record.searchableContains(term.utf8);
        if (inSearchable) {
            add(3.5, [&] {
                return entry.kind == VeskKind::Image ? QStringLiteral("Found in image")
                                                     : QStringLiteral("Found in contents");
            });
        }
        // The combined text holds the title, note and searchable text as parts, and a term has
        // no space to run across a joining space.
        const bool inCombined =
            inTitle || inNote || inSearchable || record.otherPartsContain(term.utf8);
        if (inCombined)
            addPoints(2.0);
        allInTitle = allInTitle && inTitle;
        allInCombined = allInCombined && inCombined;
        if (i == 0) {
            firstInTitle = inTitle;
            firstInCombined = inCombined;
        }
    }

    // The whole query can only be in a text that holds each of its terms.
    const bool queryInTitle =
        query.singleTerm ? firstInTitle : allInTitle && record.titleContains(query.whole);
    if (queryInTitle) {
        add(8.0, [] { return QStringLiteral("Matched title"); });
    } else {
        const bool queryInCombined = query.singleTerm
            ? firstInCombined
            : allInCombined && record.combinedContains(query.whole);
        if (queryInCombined)
            addPoints(4.0);
    }

    for (const Term& term : query.extra) {
        const bool inTitle = record.titleContains(term.utf8);
        const bool inNote = record.noteContains(term.utf8);
        const bool inSearchable = record.searchableContains(term.utf8);
        if (inTitle)
            addPoints(2.1);
        if (inNote)
            addPoints(1.8);
        if (inSearchable)
            addPoints(1.6);
        if (inTitle || inNote || inSearchable || record.otherPartsContain(term.utf8))
            addPoints(0.8);
    }
    return result;
}

QStringList splitAtWhiteSpace(const QString& text)
{
    QStringList pieces;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || text.at(i).isSpace();
        if (space && start >= 0) {
            pieces.append(text.mid(start, i - start));
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
    return pieces;
}

// Below this many candidates the scoring threads cost more than they save.
constexpr size_t kParallelThreshold = 512;
constexpr size_t kChunk = 256;

} // namespace

const QList<QStringList>& searchExpansionGroups()
{
    static const QList<QStringList> groups = [] {
        const char* rows[] = {"christmas santa sleigh reindeer holiday festive ornament tree",
            "dog dogs puppy puppies canine pet", "cat cats kitten kittens feline pet",
            "car cars automobile vehicle", "truck pickup vehicle",
            "ocean sea beach shore coast", "mountain mountains peak hiking trail",
            "food meal dish recipe cooking", "flower flowers blossom garden",
            "sunset sunrise sky dusk dawn", "snow winter ski skiing",
            "birthday cake party celebration", "wedding bride groom ceremony",
            "music song audio concert", "video movie film clip"};
        QList<QStringList> list;
        for (const char* row : rows)
            list.append(QString::fromLatin1(row).split(QLatin1Char(' ')));
        return list;
    }();
    return groups;
}

QStringList expandTerms(const QStringList& terms)
{
    QStringList expanded;
    QSet<QString> seen;
    auto append = [&](const QString& word) {
        if (!seen.contains(word)) {
            seen.insert(word);
            expanded.append(word);
        }
    };
    for (const QString& term : terms)
        append(term);
    for (const QStringList& group : searchExpansionGroups()) {
        const bool chosen = std::any_of(
            terms.begin(), terms.end(), [&](const QString& term) { return group.contains(term); });
        if (chosen) {
            for (const QString& word : group)
                append(word);
        }
    }
    return expanded;
}

LexicalSnapshot lexicalMatch(const SearchIndex& index, const QString& queryText)
{
    std::vector<RankedSlot> ranked;
    return lexicalMatch(index, queryText, ranked);
}

LexicalSnapshot lexicalMatch(
    const SearchIndex& index, const QString& queryText, std::vector<RankedSlot>& ranked)
{
    ranked.clear();
    LexicalSnapshot snapshot;
    const QString query = queryText.trimmed().toLower();
    if (query.isEmpty())
        return snapshot;
    snapshot.query = query;
    snapshot.literalTerms = splitAtWhiteSpace(query);
    snapshot.expandedTerms = expandTerms(snapshot.literalTerms);

    Query parsed;
    parsed.whole = query.toStdString();
    parsed.singleTerm = snapshot.literalTerms.size() == 1 && snapshot.literalTerms.front() == query;
    bool anyShortTerm = false;
    for (const QString& term : snapshot.literalTerms) {
        parsed.literal.push_back({term, term.toStdString()});
        if (searchCharacterCount(term) < 3)
            anyShortTerm = true;
        if (term.startsWith(QLatin1Char('#'))) {
            if (term.size() > 1) {
                const QString tag = term.mid(1);
                if (!snapshot.requestedTags.contains(tag))
                    parsed.requestedTags.append(tag);
                snapshot.requestedTags.insert(tag);
            }
        } else {
            if (!snapshot.plainTagTerms.contains(term))
                parsed.plainTerms.append(term);
            snapshot.plainTagTerms.insert(term);
        }
    }
    for (const QString& tag : parsed.requestedTags)
        parsed.requestedReasons.append(QStringLiteral("Matched #") + tag);
    for (const QString& term : parsed.plainTerms)
        parsed.plainReasons.append(QStringLiteral("Matched #") + term);
    const QSet<QString> literalSet(snapshot.literalTerms.begin(), snapshot.literalTerms.end());
    for (const QString& term : snapshot.expandedTerms) {
        if (!literalSet.contains(term))
            parsed.extra.push_back({term, term.toStdString()});
    }

    // Candidates: the items that hold a query word, a prefix of one, or a requested tag.
    const SearchIndex::Slot slotCount = index.slotCount();
    std::vector<quint8> marks(slotCount, 0);
    QSet<QString> lookedUp;
    for (const QString& term : snapshot.literalTerms + snapshot.expandedTerms) {
        if (lookedUp.contains(term) || searchCharacterCount(term) < 3)
            continue;
        lookedUp.insert(term);
        index.markToken(term, marks);
    }
    for (const QString& tag : parsed.requestedTags)
        index.markToken(QString(QLatin1Char('#') + tag), marks);

    std::vector<SearchIndex::Slot> candidates;
    if (!anyShortTerm) {
        for (SearchIndex::Slot slot = 0; slot < slotCount; ++slot) {
            if (marks[slot] && index.isLive(slot))
                candidates.push_back(slot);
        }
    }
    if (candidates.empty()) {
        for (SearchIndex::Slot slot = 0; slot < slotCount; ++slot) {
            if (index.isLive(slot))
                candidates.push_back(slot);
        }
    }

    std::vector<Scored> results(candidates.size());
    auto scoreRange = [&](size_t begin) {
        const size_t end = std::min(candidates.size(), begin + kChunk);
        for (size_t i = begin; i < end; ++i)
            results[i] = scoreEntry(index.entry(candidates[i]), parsed);
    };
    if (candidates.size() < kParallelThreshold) {
        for (size_t begin = 0; begin < candidates.size(); begin += kChunk)
            scoreRange(begin);
    } else {
        std::vector<size_t> chunks;
        for (size_t begin = 0; begin < candidates.size(); begin += kChunk)
            chunks.push_back(begin);
        QtConcurrent::blockingMap(chunks, [&](size_t begin) { scoreRange(begin); });
    }

    struct Hit {
        qint64 step; // rankingStep of the score
        qint64 createdAtMs;
        SearchIndex::Slot slot;
        double score;
    };
    std::vector<Hit> hits;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (results[i].score > 0.0) {
            hits.push_back({rankingStep(results[i].score), index.createdAtMsAt(candidates[i]),
                candidates[i], results[i].score});
        }
    }
    snapshot.scores.reserve(qsizetype(hits.size()));
    snapshot.hints.reserve(qsizetype(hits.size()));
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (results[i].score <= 0.0)
            continue;
        const QUuid& id = index.idAt(candidates[i]);
        snapshot.scores.insert(id, results[i].score);
        if (!results[i].reason.isNull())
            snapshot.hints.insert(id, results[i].reason);
    }
    // The ranking order, with the identifier as a last, stable tiebreak.
    std::sort(hits.begin(), hits.end(), [&](const Hit& a, const Hit& b) {
        if (a.step != b.step)
            return a.step > b.step;
        if (a.createdAtMs != b.createdAtMs)
            return a.createdAtMs > b.createdAtMs;
        return index.idAt(a.slot) < index.idAt(b.slot);
    });
    snapshot.rankedIDs.reserve(qsizetype(hits.size()));
    ranked.reserve(hits.size());
    for (const Hit& hit : hits) {
        snapshot.rankedIDs.append(index.idAt(hit.slot));
        ranked.push_back({hit.slot, hit.score});
    }
    return snapshot;
}

} // namespace vesk
