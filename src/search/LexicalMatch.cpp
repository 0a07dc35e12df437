#include "search/LexicalMatch.h"

#include "search/Ranking.h"
#include "search/SearchForms.h"
#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include "platform/TextFolding.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

namespace {

struct Term {
    QString text;        // normal form
    std::string utf8;    // the same as UTF-8
    std::string folded;  // its folded form, as UTF-8
    // A term with accents (or other characters that folding changes) matches only its exact
    // form; any other term matches the folded texts, whatever accents they hold.
    bool exact = false;
};

Term makeTerm(const QString& normal)
{
    const QString folded = searchFoldedForm(normal);
    return {normal, normal.toStdString(), folded.toStdString(), folded != normal};
}

// The parsed query, shared read-only by the scoring threads.
struct Query {
    Term whole;
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

// Containment tests of one item's texts, folded or exact as the term asks.
class ItemTexts {
public:
    explicit ItemTexts(const SearchIndex::Entry& entry) : m_entry(entry), m_record(entry.record) {}

    bool title(const Term& term) const { return test({RecordPart::Title}, term, false); }
    bool note(const Term& term) const { return test({RecordPart::Note}, term, false); }
    bool searchable(const Term& term) const
    {
        return test({RecordPart::Searchable, RecordPart::People}, term, false);
    }
    // For a term without a space: the parts of `combined` other than title, note and searchable.
    bool otherParts(const Term& term) const
    {
        if (!term.exact)
            return m_record.otherPartsContain(term.utf8);
        return (!m_record.textIsSearchableText && test({RecordPart::Text}, term, false))
            || test({RecordPart::Url}, term, false) || test({RecordPart::Path}, term, false)
            || test({RecordPart::People}, term, false);
    }
    bool combined(const Term& term) const
    {
        if (!term.exact)
            return m_record.combinedContains(term.utf8);
        const RecordPart textPart =
            m_record.textIsSearchableText ? RecordPart::Searchable : RecordPart::Text;
        return test({RecordPart::Title, RecordPart::Searchable, RecordPart::Note, textPart,
                        RecordPart::Url, RecordPart::Path, RecordPart::People},
            term, true);
    }
    // The nearest of the item's people whose name contains the term, or none.
    const QString* person(const Term& term) const
    {
        const QString* matched = nullptr;
        for (const QString& name : m_record.people) {
            const bool holds = term.exact || isAsciiText(name)
                ? name.contains(term.text)
                : searchFoldedForm(name).contains(term.text);
            if (holds && (!matched || name < *matched))
                matched = &name;
        }
        return matched;
    }

private:
    std::string_view stored(RecordPart part) const
    {
        switch (part) {
        case RecordPart::Title: return m_record.title;
        case RecordPart::Note: return m_record.note;
        case RecordPart::Searchable: return m_record.searchableText;
        case RecordPart::Text: return m_record.text;
        case RecordPart::Url: return m_record.urlString;
        case RecordPart::Path: return m_record.filePath;
        case RecordPart::People: return m_record.peopleNames;
        }
        return {};
    }
    // The part before folding, made again from the item only when a term needs it.
    std::string_view unfolded(RecordPart part) const
    {
        if (!m_record.isFolded(part))
            return stored(part);
        std::optional<std::string>& cached = m_unfolded[size_t(part)];
        if (!cached)
            cached = unfoldedPart(m_entry.source, m_entry.people, part);
        return *cached;
    }
    // Whether the join of the parts by one space holds the term; empty parts are left out of
    // the join unless keepEmpty.
    bool test(std::initializer_list<RecordPart> parts, const Term& term, bool keepEmpty) const
    {
        std::string_view views[7];
        int count = 0;
        for (RecordPart part : parts) {
            if (keepEmpty || !stored(part).empty())
                views[count++] = stored(part);
        }
        if (!joinContains(views, count, term.folded))
            return false; // the exact form can only be where the folded one is
        if (!term.exact)
            return true;
        count = 0;
        for (RecordPart part : parts) {
            if (keepEmpty || !stored(part).empty())
                views[count++] = unfolded(part);
        }
        return joinContains(views, count, term.utf8);
    }

    const SearchIndex::Entry& m_entry;
    const SearchRecord& m_record;
    mutable std::optional<std::string> m_unfolded[7];
};

bool holdsWholeWord(const SearchRecord& record, std::string_view word, bool& inTitle,
    bool& inNote, bool& inSearchable)
{
    inTitle = containsWholeWord(record.title, word);
    inNote = containsWholeWord(record.note, word);
    inSearchable = containsWholeWord(record.searchableText, word)
        || containsWholeWord(record.peopleNames, word);
    return inTitle || inNote || inSearchable
        || (!record.textIsSearchableText && containsWholeWord(record.text, word))
        || containsWholeWord(record.urlString, word) || containsWholeWord(record.filePath, word);
}

Scored scoreEntry(const SearchIndex::Entry& entry, const Query& query)
{
    const SearchRecord& record = entry.record;
    const ItemTexts texts(entry);
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
        if (const QString* name = texts.person(term))
            add(12.0, [&] { return QStringLiteral("Contains ") + displayName(*name); });
        const bool inTitle = texts.title(term);
        if (inTitle)
            add(6.0, [] { return QStringLiteral("Matched title"); });
        const bool inNote = texts.note(term);
        if (inNote)
            add(4.5, [] { return QStringLiteral("Matched note"); });
        const bool inSearchable = texts.searchable(term);
        if (inSearchable) {
            add(3.5, [&] {
                return entry.kind == VeskKind::Image ? QStringLiteral("Found in image")
                                                     : QStringLiteral("Found in contents");
            });
        }
        // The combined text holds the title, note and searchable text as parts, and a term has
        // no space to run across a joining space.
        const bool inCombined = inTitle || inNote || inSearchable || texts.otherParts(term);
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
        query.singleTerm ? firstInTitle : allInTitle && texts.title(query.whole);
    if (queryInTitle) {
        add(8.0, [] { return QStringLiteral("Matched title"); });
    } else {
        const bool queryInCombined =
            query.singleTerm ? firstInCombined : allInCombined && texts.combined(query.whole);
        if (queryInCombined)
            addPoints(4.0);
    }

    // A widening word counts only as a word of its own ("sea", "seas"; not "seat").
    for (const Term& term : query.extra) {
        bool inTitle = false;
        bool inNote = false;
        bool inSearchable = false;
        const bool inCombined = holdsWholeWord(record, term.utf8, inTitle, inNote, inSearchable);
        if (inTitle)
            addPoints(2.1);
        if (inNote)
            addPoints(1.8);
        if (inSearchable)
            addPoints(1.6);
        if (inCombined)
            addPoints(0.8);
    }
    return result;
}

// The longest run of index-word characters in a folded term: every item whose texts hold the
// term holds an index word containing it.
QString longestIndexPiece(const QString& folded)
{
    QStringView longest;
    qsizetype longestCount = 0;
    forEachIndexWord(folded, [&](QStringView piece) {
        const qsizetype count = searchCharacterCount(piece);
        if (count > longestCount) {
            longest = piece;
            longestCount = count;
        }
    });
    return longestCount >= 3 ? longest.toString() : QString();
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

namespace {

// Parses the query into the snapshot's terms and the scoring's own form of them.
Query parseQuery(const QString& query, LexicalSnapshot& snapshot)
{
    const QString normal = searchNormalForm(query);
    bool trimmed = false;
    for (const QString& piece : splitAtWhiteSpace(normal)) {
        const QString term = trimTermPunctuation(piece);
        trimmed = trimmed || term != piece;
        snapshot.literalTerms.append(term);
    }
    snapshot.expandedTerms = expandTerms(snapshot.literalTerms);

    Query parsed;
    // With punctuation trimmed from its terms, the whole query is what is left of it.
    parsed.whole = makeTerm(trimmed ? snapshot.literalTerms.join(QLatin1Char(' ')) : normal);
    parsed.singleTerm =
        snapshot.literalTerms.size() == 1 && snapshot.literalTerms.front() == parsed.whole.text;
    for (const QString& term : snapshot.literalTerms) {
        parsed.literal.push_back(makeTerm(term));
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
            parsed.extra.push_back(makeTerm(term));
    }
    return parsed;
}

// The live slots that can score above 0: those whose texts hold a literal term or a widening
// word, or whose tags hold a requested tag or a plain term. A term with no run of 3 or more
// word characters could be anywhere, so every item is a candidate then.
std::vector<SearchIndex::Slot> candidateSlots(
    const SearchIndex& index, const Query& parsed, bool scanAll)
{
    const SearchIndex::Slot slotCount = index.slotCount();
    std::vector<quint8> marks(slotCount, scanAll ? 1 : 0);
    for (size_t i = 0; i < parsed.literal.size() && !scanAll; ++i) {
        const QString piece = longestIndexPiece(QString::fromStdString(parsed.literal[i].folded));
        if (piece.isEmpty()) {
            std::fill(marks.begin(), marks.end(), quint8(1));
            scanAll = true;
        } else {
            index.markContaining(piece, marks);
        }
    }
    if (!scanAll) {
        for (const Term& term : parsed.extra)
            index.markContaining(term.text, marks);
        // A "#" token finds the item by its tag (and, harmlessly, by words beginning with it).
        for (const QString& tag : parsed.requestedTags)
            index.markToken(QString(QLatin1Char('#') + tag), marks);
        for (const QString& term : parsed.plainTerms)
            index.markToken(QString(QLatin1Char('#') + term), marks);
    }
    std::vector<SearchIndex::Slot> candidates;
    for (SearchIndex::Slot slot = 0; slot < slotCount; ++slot) {
        if (marks[slot] && index.isLive(slot))
            candidates.push_back(slot);
    }
    return candidates;
}

LexicalHits findHits(const SearchIndex& index, const QString& queryText, bool scanAll)
{
    LexicalHits found;
    LexicalSnapshot& snapshot = found.header;
    const QString query = queryText.trimmed().toLower();
    if (query.isEmpty())
        return found;
    snapshot.query = query;
    const Query parsed = parseQuery(query, snapshot);
    const std::vector<SearchIndex::Slot> candidates = candidateSlots(index, parsed, scanAll);

    // Scored in chunks, each keeping its own hits, so that no thread waits for another.
    const size_t chunkCount = (candidates.size() + kChunk - 1) / kChunk;
    std::vector<std::vector<LexicalHit>> chunkHits(chunkCount);
    auto scoreChunk = [&](size_t chunk) {
        const size_t begin = chunk * kChunk;
        const size_t end = std::min(candidates.size(), begin + kChunk);
        std::vector<LexicalHit>& hits = chunkHits[chunk];
        for (size_t i = begin; i < end; ++i) {
            Scored scored = scoreEntry(index.entry(candidates[i]), parsed);
            if (scored.score > 0.0)
                hits.push_back({candidates[i], scored.score, std::move(scored.reason)});
        }
    };
    if (candidates.size() < kParallelThreshold) {
        for (size_t chunk = 0; chunk < chunkCount; ++chunk)
            scoreChunk(chunk);
    } else {
        std::vector<size_t> chunks(chunkCount);
        std::iota(chunks.begin(), chunks.end(), size_t(0));
        QtConcurrent::blockingMap(chunks, scoreChunk);
    }
    size_t total = 0;
    for (const std::vector<LexicalHit>& hits : chunkHits)
        total += hits.size();
    found.hits.reserve(total);
    for (std::vector<LexicalHit>& hits : chunkHits)
        std::move(hits.begin(), hits.end(), std::back_inserter(found.hits));
    return found;
}

LexicalSnapshot snapshotOf(const SearchIndex& index, LexicalHits found)
{
    LexicalSnapshot snapshot = std::move(found.header);
    const std::vector<LexicalHit>& hits = found.hits;
    snapshot.scores.reserve(qsizetype(hits.size()));
    snapshot.hints.reserve(qsizetype(hits.size()));
    for (const LexicalHit& hit : hits) {
        const QUuid& id = index.idAt(hit.slot);
        snapshot.scores.insert(id, hit.score);
        if (!hit.reason.isNull())
            snapshot.hints.insert(id, hit.reason);
    }
    // The ranking order, with the identifier as a last, stable tiebreak.
    struct Ranked {
        qint64 step; // rankingStep of the score
        qint64 createdAtMs;
        quint32 slot;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(hits.size());
    for (const LexicalHit& hit : hits)
        ranked.push_back({rankingStep(hit.score), index.createdAtMsAt(hit.slot), hit.slot});
    std::sort(ranked.begin(), ranked.end(), [&](const Ranked& a, const Ranked& b) {
        if (a.step != b.step)
            return a.step > b.step;
        if (a.createdAtMs != b.createdAtMs)
            return a.createdAtMs > b.createdAtMs;
        return index.idAt(a.slot) < index.idAt(b.slot);
    });
    snapshot.rankedIDs.reserve(qsizetype(ranked.size()));
    for (const Ranked& entry : ranked)
        snapshot.rankedIDs.append(index.idAt(entry.slot));
    return snapshot;
}

} // namespace

LexicalSnapshot lexicalMatch(const SearchIndex& index, const QString& queryText)
{
    return snapshotOf(index, findHits(index, queryText, false));
}

LexicalSnapshot lexicalMatchScanningAll(const SearchIndex& index, const QString& queryText)
{
    return snapshotOf(index, findHits(index, queryText, true));
}

LexicalHits lexicalHits(const SearchIndex& index, const QString& queryText)
{
    return findHits(index, queryText, false);
}

} // namespace vesk
