// Search by meaning as a person meets it: a library of everyday notes kept by the real store with
// the real engine, searched with words the notes do not hold.
#include "search/EmbeddingWords.h"
#include "search/LexicalMatch.h"
#include "store/EverydayNotes.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"
#include "common/TestEnvironment.h"
#include "store/StoreInternals.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vesk::test {
namespace {

class MeaningSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Timers are not wanted: each pass is started by the test and waited for.
        VeskServices services = makeRealServices(makeTempDirectory(QStringLiteral("everyday-notes")));
        services.lexicalSearchDelayMs = 3'600'000;
        services.deepSearchDelayMs = 3'600'000;
        s_store = new VeskStore(services);
        ASSERT_TRUE(QTest::qWaitFor([] { return s_store->startupIsFinished(); }, 10'000));
        for (const EverydayNote& note : everydayNotes)
            s_store->addText(QString::fromUtf8(note.text));
        const auto count = qsizetype(std::size(everydayNotes));
        (void)QTest::qWaitFor([] { return s_store->semanticVectors().size() == qsizetype(std::size(everydayNotes))
                                  && s_store->indexingCount() == 0; },
            60'000);
        ASSERT_EQ(s_store->semanticVectors().size(), count);
        for (const VeskItem& item : s_store->items()) {
            const auto note = std::find_if(std::begin(everydayNotes), std::end(everydayNotes),
                [&](const EverydayNote& n) { return QString::fromUtf8(n.text) == item.text->toString(); });
            s_notes.insert(item.id, int(note - std::begin(everydayNotes)));
            s_byNote.insert(int(note - std::begin(everydayNotes)), item.id);
        }
    }
    static void TearDownTestSuite()
    {
        delete s_store;
        s_store = nullptr;
    }

    // The query's words that say what it is about ("for", "the" and the like left out).
    static QString contentWords(const char* query)
    {
        QStringList words;
        for (const EnglishWord& word : englishWords(QString::fromUtf8(query))) {
            if (isContentWord(word.text))
                words.append(QString::fromStdString(word.text));
        }
        return words.join(QLatin1Char(' '));
    }
    // The list the field shows once both passes have run for query, as typing it would leave it.
    static QList<QUuid> search(const QString& query, QList<QUuid>* lexical = nullptr)
    {
        s_store->setSearchText(query);
        s_store->refreshFilteredItems(query);
        if (lexical)
            *lexical = ids(s_store->filteredItems());
        const bool lexicalHits = !s_store->filteredItems().isEmpty();
        // The deep pass publishes every lexical hit again, and anything it finds by meaning.
        StoreInternals::setFilteredItems(*s_store, {});
        s_store->startDeepSearch(query);
        if (!QTest::qWaitFor([] { return !s_store->filteredItems().isEmpty(); }, lexicalHits ? 10'000 : 1'500))
            return {};
        return ids(s_store->filteredItems());
    }
    static QList<QUuid> ids(const QList<VeskItem>& items)
    {
        QList<QUuid> list;
        for (const VeskItem& item : items)
            list.append(item.id);
        return list;
    }

    static inline VeskStore* s_store = nullptr;
    static inline QHash<QUuid, int> s_notes;
    static inline QHash<int, QUuid> s_byNote;
};

// Each query shares no word with its note: only meaning can bring the note into the first three.
// The share found is far from all: the floor below keeps what the engine reaches from slipping.
TEST_F(MeaningSearch, QueriesInOtherWordsFindTheirNoteInTheFirstThree)
{
    // What the README promises, both ways.
    const QHash<QString, bool> readmeExamples{{QStringLiteral("power invoice"), true},
        {QStringLiteral("talk with the boss about a raise"), true}, {QStringLiteral("plane to Portugal"), true},
        {QStringLiteral("grass cutting"), true}, {QStringLiteral("roof leak"), false},
        {QStringLiteral("angling outing"), false}, {QStringLiteral("tooth pain"), false},
        {QStringLiteral("customer pitch"), false}, {QStringLiteral("present for my mother"), false}};
    int found[2] = {0, 0};
    int asked[2] = {0, 0};
    for (int n = 0; n < int(std::size(everydayNotes)); ++n) {
        const EverydayNote& note = everydayNotes[n];
        EXPECT_FALSE(s_store->lexicalMatch(contentWords(note.query)).scores.contains(s_byNote.value(n)))
            << note.query << " finds its note by its words";
        const QList<QUuid> results = search(QString::fromUtf8(note.query));
        const qsizetype place = results.indexOf(s_byNote.value(n));
        ++asked[note.heldOut];
        if (const auto promise = readmeExamples.constFind(QString::fromUtf8(note.query)); promise != readmeExamples.cend()) {
            EXPECT_EQ(place >= 0 && place < 3, *promise) << note.query;
        }
        if (place >= 0 && place < 3)
            ++found[note.heldOut];
        else
            std::printf("[ missed   ] \"%s\" → place %lld of %lld for \"%s\"\n", note.query,
                (long long)(place + 1), (long long)results.size(), note.text);
    }
    std::printf("[ figures  ] note in the first three: %d of %d queries tuned on, %d of %d held out\n",
        found[0], asked[0], found[1], asked[1]);
    EXPECT_GE(found[0] * 100, asked[0] * 40);
    EXPECT_GE(found[1] * 100, asked[1] * 20);
}

// Queries that the words of a note answer keep that note first once meaning has had its say. Notes
// that match the words equally well ("electric": "electricity" and "electrician") are in no
// order of their words' making: meaning may put any of them first.
TEST_F(MeaningSearch, WordsPrefixesTagsAndWideningsKeepTheirFirstResult)
{
    const VeskItem& tagged = s_store->items().at(s_store->indexOfItem(s_byNote.value(0)));
    ASSERT_TRUE(s_store->addManualTag(QStringLiteral("#leaks"), tagged));
    for (const char* query : {"plumber", "boiler radiators", "plum", "electric", "passport", "tax return",
             "#leaks", "Lisbon", "sourdough", "chess", "vaccin", "mortgage", "wool", "music", "recipe",
             "beach", "sunrise", "party"}) {
        QList<QUuid> lexical;
        const QList<QUuid> results = search(QString::fromUtf8(query), &lexical);
        ASSERT_FALSE(lexical.isEmpty()) << query;
        ASSERT_FALSE(results.isEmpty()) << query;
        const QHash<QUuid, double> byWords = s_store->lexicalMatch(QString::fromUtf8(query)).scores;
        EXPECT_EQ(byWords.value(results.first()), byWords.value(lexical.first())) << query;
    }
}

// How many of the notes "This reminds me of…" offers belong to the same part of life. Few do: a
// shared word ("before", "Thursday", "bring") counts for more there than a close meaning, and two
// notes of one area seldom come as close as the panel's floor asks.
TEST_F(MeaningSearch, RelatedNotesShareTheirArea)
{
    int shown = 0;
    int fitting = 0;
    int empty = 0;
    for (auto it = s_byNote.cbegin(); it != s_byNote.cend(); ++it) {
        const VeskItem& item = s_store->items().at(s_store->indexOfItem(*it));
        const QList<VeskItem> related = s_store->relatedItems(item, 3);
        empty += related.isEmpty();
        for (const VeskItem& other : related) {
            ++shown;
            fitting += std::strcmp(everydayNotes[s_notes.value(other.id)].area, everydayNotes[it.key()].area) == 0;
        }
    }
    std::printf("[ figures  ] related notes of the same area: %d of %d shown; %d notes show none\n", fitting,
        shown, empty);
    // The README's example of a word shared by chance.
    const auto idOf = [](const char* beginning) {
        for (int n = 0; n < int(std::size(everydayNotes)); ++n) {
            if (std::strncmp(everydayNotes[n].text, beginning, std::strlen(beginning)) == 0)
                return s_byNote.value(n);
        }
        return QUuid();
    };
    const VeskItem& electrician = s_store->items().at(s_store->indexOfItem(idOf("Electrician")));
    EXPECT_TRUE(ids(s_store->relatedItems(electrician, 3)).contains(idOf("Parents' evening")));
    EXPECT_GE(fitting * 100, shown * 10);
}

} // namespace
} // namespace vesk::test
