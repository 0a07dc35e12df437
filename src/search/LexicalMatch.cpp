#include "search/LexicalMatch.h"

#include "search/Ranking.h"
#include "search/SearchForms.h"
#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include "platform/ParallelWork.h"
#include "platform/TextFolding.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <memory>
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
    quint64 bits = 0;        // textBits of the folded form
    bool bitsExact = false;  // a part holding the bits holds the term
    // For a literal term that is a single run of index-word characters, matched as folded: the
    // bit its candidates are marked with, so that a candidate's mark tells whether it holds the
    // term. 0 for other terms.
    quint8 markBit = 0;
};

Term makeTerm(const QString& normal)
{
    const QString folded = searchFoldedForm(normal);
    Term term{normal, normal.toStdString(), folded.toStdString(), folded != normal};
    term.bits = textBits(term.folded);
    term.bitsExact = !term.exact && bitsAreExact(term.folded);
    return term;
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
    // Whether any item holds one of the requested tags or plain terms as a tag; when none does,
    // no item's tags need to be read.
    bool tagsHeld = true;
    // Whether the index's text summaries may answer for the texts; the checking scan of every
    // item reads the texts themselves.
    bool useSummaries = true;
    // Whether the candidates' marks tell which literal terms their words hold (Term::markBit).
    bool marksKnown = false;
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

// Containment tests of one item's texts, folded or exact as the term asks. With a summary, a part
// that cannot hold the term's bytes is not read, nor one whose bytes tell the answer alone.
class ItemTexts {
public:
    ItemTexts(const SearchIndex::Entry& entry, const TextSummary* summary)
        : m_entry(entry), m_record(entry.record), m_summary(summary)
    {
    }

    bool title(const Term& term) const
    {
        if (const auto answer = known(&TextSummary::title, term))
            return *answer;
        return test({RecordPart::Title}, term, false);
    }
    bool note(const Term& term) const
    {
        if (const auto answer = known(&TextSummary::note, term))
            return *answer;
        return test({RecordPart::Note}, term, false);
    }
    bool searchable(const Term& term) const
    {
        if (const auto answer = known(&TextSummary::searchable, term))
            return *answer;
        return test({RecordPart::Searchable, RecordPart::People}, term, false);
    }
    // For a term without a space: the parts of `combined` other than title, note and searchable.
    bool otherParts(const Term& term) const
    {
        if (const auto answer = known(&TextSummary::other, term))
            return *answer;
        if (!term.exact)
            return m_record.otherPartsContain(term.utf8);
        return (!m_record.textIsSearchableText && test({RecordPart::Text}, term, false))
            || test({RecordPart::Url}, term, false) || test({RecordPart::Path}, term, false)
            || test({RecordPart::People}, term, false);
    }
    bool combined(const Term& term) const
    {
        if (m_summary && !TextSummary::mayHold(m_summary->combined(), term.bits))
            return false;
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
        if (m_summary && !m_summary->has(TextSummary::HasPeople))
            return nullptr;
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

    bool titleInSearchable() const
    {
        return m_summary && m_summary->has(TextSummary::TitleInSearchable);
    }
    bool isImage() const
    {
        return m_summary ? m_summary->has(TextSummary::IsImage) : m_entry.kind == VeskKind::Image;
    }

private:
    // The answer the summary gives for a part without reading it, if it gives one.
    std::optional<bool> known(quint64 TextSummary::*part, const Term& term) const
    {
        if (!m_summary)
            return std::nullopt;
        if (!TextSummary::mayHold(m_summary->*part, term.bits))
            return false;
        if (term.bitsExact)
            return true;
        return std::nullopt;
    }

    FoldedView stored(RecordPart part) const
    {
        switch (part) {
        case RecordPart::Title: return {m_record.title};
        case RecordPart::Note: return {m_record.note};
        case RecordPart::Searchable: return m_record.searchableText.view();
        case RecordPart::Text: return m_record.text.view();
        case RecordPart::Url: return {m_record.urlString};
        case RecordPart::Path: return {m_record.filePath};
        case RecordPart::People: return {m_record.peopleNames};
        }
        return {};
    }
    // The part before folding, made again from the item only when a term needs it.
    FoldedView unfolded(RecordPart part) const
    {
        if (!m_record.isFolded(part))
            return stored(part);
        if (!m_unfolded)
            m_unfolded = std::make_unique<std::optional<std::string>[]>(kPartCount);
        std::optional<std::string>& cached = m_unfolded[size_t(part)];
        if (!cached)
            cached = unfoldedPart(m_entry.source, m_entry.people, part);
        return {*cached};
    }
    // Whether the join of the parts by one space holds the term; empty parts are left out of
    // the join unless keepEmpty.
    bool test(std::initializer_list<RecordPart> parts, const Term& term, bool keepEmpty) const
    {
        FoldedView views[7];
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
    const TextSummary* m_summary;
    // Made when a term first needs a part before folding: few items ever do, and every item of a
    // short query's library is scored.
    static constexpr size_t kPartCount = 7;
    mutable std::unique_ptr<std::optional<std::string>[]> m_unfolded;
};

bool holdsWholeWord(const SearchRecord& record, std::string_view word, bool& inTitle,
    bool& inNote, bool& inSearchable)
{
    inTitle = containsWholeWord(record.title, word);
    inNote = containsWholeWord(record.note, word);
    inSearchable = containsWholeWord(record.searchableText.view(), word)
        || containsWholeWord(record.peopleNames, word);
    return inTitle || inNote || inSearchable
        || (!record.textIsSearchableText && containsWholeWord(record.text.view(), word))
        || containsWholeWord(record.urlString, word) || containsWholeWord(record.filePath, word);
}

// Whether the item's texts hold the term, when the index's words tell: a term that is one index
// word (or part of one) is in the texts exactly when one of the item's words holds it, and the
// candidates were marked by those words.
std::optional<bool> heldByWords(const Term& term, quint8 mark, const Query& query)
{
    if (!query.marksKnown || term.markBit == 0)
        return std::nullopt;
    return (mark & term.markBit) != 0;
}

// Without reasons (kReasons false) only the score is worked out: the ranking of a short query
// scores most of the library and shows the reasons of a few items.
template <bool kReasons>
Scored scoreEntry(const SearchIndex& index, SearchIndex::Slot slot, quint8 mark, const Query& query)
{
    const SearchIndex::Entry& entry = index.entry(slot);
    const SearchRecord& record = entry.record;
    const TextSummary* summary = query.useSummaries ? &index.summaryAt(slot) : nullptr;
    const ItemTexts texts(entry, summary);
    Scored result;
    // Summed apart from the result, which the compiler keeps in memory.
    double score = 0.0;
    [[maybe_unused]] bool hasReason = false;
    // The first reason found stays; rows without a reason only add points.
    auto add = [&](double points, auto reason) {
        score += points;
        if constexpr (kReasons) {
            if (!hasReason) {
                result.reason = reason();
                hasReason = true;
            }
        }
    };
    auto addPoints = [&](double points) { score += points; };

    if (query.tagsHeld && !record.tags.isEmpty()) {
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
        const std::optional<bool> held = heldByWords(term, mark, query);
        const bool inTitle = held != false && texts.title(term);
        if (inTitle)
            add(6.0, [] { return QStringLiteral("Matched title"); });
        const bool inNote = held != false && texts.note(term);
        if (inNote)
            add(4.5, [] { return QStringLiteral("Matched note"); });
        bool inSearchable = false;
        if (held == true) {
            // The item holds the term somewhere: when no other part does, its searchable text
            // must, and a title within that text brings the term along. Only what is left is read.
            inSearchable = (!inTitle && !inNote && !texts.otherParts(term))
                || (inTitle && texts.titleInSearchable()) || texts.searchable(term);
        } else if (!held) {
            inSearchable = texts.searchable(term);
        }
        if (inSearchable) {
            add(3.5, [&] {
                return texts.isImage() ? QStringLiteral("Found in image")
                                       : QStringLiteral("Found in contents");
            });
        }
        // The combined text holds the title, note and searchable text as parts, and a term has
        // no space to run across a joining space.
        const bool inCombined =
            held.value_or(inTitle || inNote || inSearchable || texts.otherParts(term));
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
        if (summary && !TextSummary::mayHold(summary->combined(), term.bits))
            continue;
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
    result.score = score;
    return result;
}

// The longest run of index-word characters in a folded term: every item whose texts hold the
// term holds an index word containing it. The index keeps the words of two or more code units,
// so a shorter run could be in any item.
QString longestIndexPiece(const QString& folded)
{
    QStringView longest;
    forEachIndexWord(folded, [&](QStringView piece) {
        if (piece.size() > longest.size())
            longest = piece;
    });
    return longest.size() >= 2 ? longest.toString() : QString();
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
// Candidates scored at a time by one thread: enough pieces to keep every core busy to the end, each
// large enough to be worth handing over. A pass looks whether it is cancelled between pieces.
size_t chunkFor(size_t count)
{
    return std::clamp<size_t>(count / 64, 256, 4096);
}

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
// word, or whose tags hold a requested tag or a plain term. A term with no run of 2 or more
// word characters could be anywhere, so every item is a candidate then; so is every item when
// marking the candidates would cost more than scoring them all. The marks of the candidates are
// kept: with parsed.marksKnown set, each literal term with a mark bit marked exactly the items
// whose words hold it.
struct Candidates {
    // Every live slot, with no mark of its words; no list is made of them.
    bool everyLiveSlot = false;
    std::vector<SearchIndex::Slot> ids;
    std::vector<quint8> marks; // by position in ids
};

constexpr quint8 kOtherMark = 0x80;

Candidates candidateSlots(const SearchIndex& index, Query& parsed, bool scanAll)
{
    Candidates candidates;
    parsed.marksKnown = false;
    if (scanAll) {
        candidates.everyLiveSlot = true;
        return candidates;
    }
    const SearchIndex::Slot slotCount = index.slotCount();
    std::vector<quint8> marks(slotCount, 0);
    for (size_t i = 0; i < parsed.literal.size(); ++i) {
        Term& term = parsed.literal[i];
        const QString folded = QString::fromStdString(term.folded);
        const QString piece = longestIndexPiece(folded);
        if (i < 7 && !term.exact && piece == folded)
            term.markBit = quint8(1u << i);
        // Past a few postings per item, marking costs more than scoring every item.
        const quint8 mark = term.markBit ? term.markBit : kOtherMark;
        if (piece.isEmpty() || !index.markContaining(piece, marks, size_t(slotCount) * 2, mark)) {
            candidates.everyLiveSlot = true;
            return candidates;
        }
    }
    for (const Term& term : parsed.extra)
        index.markContaining(term.text, marks, std::numeric_limits<size_t>::max(), kOtherMark);
    // A "#" token finds the item by its tag (and, harmlessly, by words beginning with it).
    for (const QString& tag : parsed.requestedTags)
        index.markToken(QString(QLatin1Char('#') + tag), marks, kOtherMark);
    for (const QString& term : parsed.plainTerms)
        index.markToken(QString(QLatin1Char('#') + term), marks, kOtherMark);
    parsed.marksKnown = true;
    for (SearchIndex::Slot slot = 0; slot < slotCount; ++slot) {
        if (marks[slot] && index.isLive(slot)) {
            candidates.ids.push_back(slot);
            candidates.marks.push_back(marks[slot]);
        }
    }
    return candidates;
}

// A hit of the snapshot, which hints every item with its reason.
struct HitWithReason {
    quint32 slot;
    double score;
    QString reason; // null when the item has none
};

// The query parsed, with what the scoring needs to know of the index.
Query parsedQuery(const SearchIndex& index, const QString& query, LexicalSnapshot& snapshot, bool scanAll)
{
    snapshot.query = query;
    Query parsed = parseQuery(query, snapshot);
    parsed.useSummaries = !scanAll;
    parsed.tagsHeld = scanAll
        || std::any_of(parsed.requestedTags.begin(), parsed.requestedTags.end(),
            [&](const QString& tag) { return index.holdsTag(tag); })
        || std::any_of(parsed.plainTerms.begin(), parsed.plainTerms.end(),
            [&](const QString& term) { return index.holdsTag(term); });
    return parsed;
}

// Whether the summary alone scores an item without people: a query of one ASCII letter or digit,
// which every part answers from its summary, with no tag that any item holds and no widening
// word. Then the score follows from the four answers of the parts (summaryAnswers), and is
// worked out once for each way they fall instead of once for each item. (The people's names of
// an item that has some are read.)
bool scoredBySummary(const Query& parsed)
{
    return parsed.useSummaries && !parsed.marksKnown && !parsed.tagsHeld && parsed.extra.empty()
        && parsed.singleTerm && parsed.literal.size() == 1 && parsed.literal.front().bitsExact;
}

unsigned summaryAnswers(const TextSummary& summary, quint64 bits)
{
    return unsigned(TextSummary::mayHold(summary.title, bits)) | unsigned(TextSummary::mayHold(summary.note, bits)) << 1
        | unsigned(TextSummary::mayHold(summary.searchable, bits)) << 2
        | unsigned(TextSummary::mayHold(summary.other, bits)) << 3;
}

// The hits among the candidates, in slot order. The candidates are scored in pieces, each keeping
// its own hits so that no thread waits for another, on all cores when they are many; a pass
// cancelled meanwhile scores no further piece and finds nothing.
template <bool kReasons, typename Hit>
std::vector<Hit> scoredHits(const SearchIndex& index, const Query& parsed, const Candidates& candidates,
    const CancellationToken* token)
{
    const size_t count = candidates.everyLiveSlot ? index.slotCount() : candidates.ids.size();
    const bool bySummary = scoredBySummary(parsed);
    const size_t chunkSize = chunkFor(count);
    const size_t chunkCount = (count + chunkSize - 1) / chunkSize;
    std::vector<std::vector<Hit>> chunkHits(chunkCount);
    auto scoreChunk = [&](size_t chunk) {
        if (token && token->isCancelled())
            return;
        const size_t begin = chunk * chunkSize;
        const size_t end = std::min(count, begin + chunkSize);
        std::vector<Hit>& hits = chunkHits[chunk];
        hits.reserve(end - begin);
        // The scores of the answers met so far, by answers.
        std::array<double, 16> scoreOfAnswers;
        unsigned scoredAnswers = 0;
        for (size_t i = begin; i < end; ++i) {
            SearchIndex::Slot slot = SearchIndex::Slot(i);
            quint8 mark = kOtherMark;
            if (candidates.everyLiveSlot) {
                if (!index.isLive(slot))
                    continue;
            } else {
                slot = candidates.ids[i];
                mark = candidates.marks[i];
            }
            if constexpr (kReasons) {
                Scored scored = scoreEntry<true>(index, slot, mark, parsed);
                if (scored.score > 0.0)
                    hits.push_back({slot, scored.score, std::move(scored.reason)});
            } else {
                double score = 0.0;
                const TextSummary& summary = index.summaryAt(slot);
                if (bySummary && !summary.has(TextSummary::HasPeople)) {
                    const unsigned answers = summaryAnswers(summary, parsed.literal.front().bits);
                    if (!(scoredAnswers >> answers & 1u)) {
                        scoreOfAnswers[answers] = scoreEntry<false>(index, slot, mark, parsed).score;
                        scoredAnswers |= 1u << answers;
                    }
                    score = scoreOfAnswers[answers];
                } else {
                    score = scoreEntry<false>(index, slot, mark, parsed).score;
                }
                if (score > 0.0)
                    hits.emplace_back(slot, score);
            }
        }
    };
    if (count < kParallelThreshold) {
        for (size_t chunk = 0; chunk < chunkCount; ++chunk)
            scoreChunk(chunk);
    } else {
        forEachInParallel(chunkCount, scoreChunk);
    }
    if (token && token->isCancelled())
        return {};
    std::vector<size_t> offsets(chunkCount + 1, 0);
    for (size_t chunk = 0; chunk < chunkCount; ++chunk)
        offsets[chunk + 1] = offsets[chunk] + chunkHits[chunk].size();
    // Each piece moves its hits to their place in the whole list.
    std::vector<Hit> all(offsets.back());
    auto place = [&](size_t chunk) {
        std::move(chunkHits[chunk].begin(), chunkHits[chunk].end(), all.begin() + qsizetype(offsets[chunk]));
        std::vector<Hit>().swap(chunkHits[chunk]);
    };
    if (all.size() < kParallelThreshold) {
        for (size_t chunk = 0; chunk < chunkCount; ++chunk)
            place(chunk);
    } else {
        forEachInParallel(chunkCount, place);
    }
    return all;
}

LexicalSnapshot snapshotOf(const SearchIndex& index, LexicalSnapshot snapshot, const std::vector<HitWithReason>& hits)
{
    snapshot.scores.reserve(qsizetype(hits.size()));
    snapshot.hints.reserve(qsizetype(hits.size()));
    for (const HitWithReason& hit : hits) {
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
    for (const HitWithReason& hit : hits)
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

LexicalSnapshot matchSnapshot(const SearchIndex& index, const QString& queryText, bool scanAll)
{
    LexicalSnapshot snapshot;
    const QString query = queryText.trimmed().toLower();
    if (query.isEmpty())
        return snapshot;
    Query parsed = parsedQuery(index, query, snapshot, scanAll);
    const Candidates candidates = candidateSlots(index, parsed, scanAll);
    const std::vector<HitWithReason> hits = scoredHits<true, HitWithReason>(index, parsed, candidates, nullptr);
    return snapshotOf(index, std::move(snapshot), hits);
}

} // namespace

LexicalSnapshot lexicalMatch(const SearchIndex& index, const QString& queryText)
{
    return matchSnapshot(index, queryText, false);
}

LexicalSnapshot lexicalMatchScanningAll(const SearchIndex& index, const QString& queryText)
{
    return matchSnapshot(index, queryText, true);
}

LexicalHits lexicalHits(const SearchIndex& index, const QString& queryText, const CancellationToken& token)
{
    LexicalHits found;
    const QString query = queryText.trimmed().toLower();
    if (query.isEmpty() || token.isCancelled())
        return found;
    Query parsed = parsedQuery(index, query, found.header, false);
    const Candidates candidates = candidateSlots(index, parsed, false);
    found.hits = scoredHits<false, LexicalHit>(index, parsed, candidates, &token);
    return found;
}

QList<QString> lexicalReasons(const SearchIndex& index, const QString& queryText, const std::vector<quint32>& chosen)
{
    QList<QString> reasons(qsizetype(chosen.size()));
    const QString query = queryText.trimmed().toLower();
    if (query.isEmpty())
        return reasons;
    LexicalSnapshot snapshot;
    // Without the marks of the candidates, the scoring reads what the marks would tell; the
    // answer is the same.
    const Query parsed = parsedQuery(index, query, snapshot, false);
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i] < index.slotCount() && index.isLive(chosen[i]))
            reasons[qsizetype(i)] = scoreEntry<true>(index, chosen[i], kOtherMark, parsed).reason;
    }
    return reasons;
}

} // namespace vesk
