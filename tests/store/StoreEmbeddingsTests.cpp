#include "common/Eventually.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"
#include "store/SearchState.h"

#include <QSignalSpy>
#include <QTest>

#include <future>
#include <thread>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreEmbeddings : public StoreTest {
protected:
    // A store whose search pipelines wait long, so that only the tasks under test search.
    std::unique_ptr<VeskStore> makeQuietStore()
    {
        VeskServices s = services();
        s.lexicalSearchDelayMs = 60'000;
        s.deepSearchDelayMs = 60'000;
        return std::make_unique<VeskStore>(s);
    }
    // Records every value the counter takes.
    static std::shared_ptr<QList<int>> recordCounter(VeskStore& store)
    {
        auto values = std::make_shared<QList<int>>();
        QObject::connect(&store, &VeskStore::indexingCountChanged, &store,
            [values, &store] { values->append(store.indexingCount()); });
        return values;
    }
    QString storedModel(const QUuid& id) const
    {
        auto db = openDatabase();
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db->nativeHandleForTesting(), "SELECT embedding_model FROM vesks WHERE id = ?;",
            -1, &statement, nullptr);
        const QByteArray key = id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
        sqlite3_bind_text(statement, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        QString model;
        if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
            model = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return model;
    }
};

TEST_F(StoreEmbeddings, StartUpEmbedsItemsWithoutVectorsAndSearchesAgainOnceAfterThePass)
{
    const VeskItem roof = makeItem(QStringLiteral("roof leak"), 100);
    const VeskItem train = makeItem(QStringLiteral("train timetable"), 200);
    VeskItem blank = makeItem(QStringLiteral(" "), 300);
    blank.searchableText = QStringLiteral("\n");
    const VeskItem older = makeItem(QStringLiteral("older vector"), 400);
    seed({roof, train, blank, older});
    // A vector stored by another model cannot be compared with this one's: the item is embedded
    // again, and is searched by its words until then.
    ASSERT_TRUE(openDatabase()->updateEmbedding(older.id, QStringLiteral("Vesk-WordNet-English-1"),
        QList<double>{0.5, 0.25}).hasValue());
    embeddings->vectors.insert(embeddingInputText(roof), QList<double>{1.0, 0.0});
    embeddings->vectors.insert(embeddingInputText(train), QList<double>{0.0, 1.0});
    // Values that half and single precision both keep exactly.
    embeddings->vectors.insert(embeddingInputText(older), QList<double>{0.75, 0.5});

    auto store = makeQuietStore();
    const auto counter = recordCounter(*store);
    store->setSearchText(QStringLiteral("Roof"));
    ASSERT_EVENTUALLY_EQ(counter->size(), 8, 5000);
    EXPECT_EQ(*counter, (QList<int>{1, 0, 1, 0, 1, 0, 1, 0}));
    // Two searches, each wanted: the one typed while the library was read in the background is
    // answered as soon as search is ready (the pass may take minutes on a large library), and the
    // pass searches once more at its end, with every vector: once for all its items, not once per
    // item.
    ASSERT_EVENTUALLY_EQ(embeddings->asked(QStringLiteral("roof")), 2, 5000);
    drainEvents();
    EXPECT_EQ(embeddings->asked(QStringLiteral("roof")), 2);
    EXPECT_EQ(embeddings->texts.size(), 6);
    EXPECT_EQ(embeddings->asked(embeddingInputText(older)), 1);

    EXPECT_EQ(store->semanticVectors().values(roof.id), (QList<double>{1.0, 0.0}));
    EXPECT_EQ(store->semanticVectors().values(older.id), (QList<double>{0.75, 0.5}));
    EXPECT_FALSE(store->semanticVectors().contains(blank.id));
    // The new vectors are in the database, under this engine's name, once the writes queued
    // off the main thread are done.
    ASSERT_NE(StoreInternals::backgroundDatabase(*store), nullptr);
    const auto stored = openDatabase()->fetchEmbeddings();
    ASSERT_TRUE(stored.hasValue());
    EXPECT_EQ(stored->value(train.id), (QList<double>{0.0, 1.0}));
    EXPECT_EQ(storedModel(train.id), QStringLiteral("Fake-Embedding-1"));
    EXPECT_EQ(storedModel(older.id), QStringLiteral("Fake-Embedding-1"));
    EXPECT_EQ(stored->value(older.id), (QList<double>{0.75, 0.5}));
}

TEST_F(StoreEmbeddings, AnEditedItemIsEmbeddedAgainAndAFailedWriteKeepsTheVectorInMemory)
{
    const VeskItem item = makeItem(QStringLiteral("garden"), 100);
    seed({item});
    embeddings->vectors.insert(embeddingInputText(item), QList<double>{1.0, 2.0});
    auto store = makeQuietStore();
    ASSERT_EVENTUALLY(store->semanticVectors().contains(item.id), 5000);

    VeskItem edited = item;
    edited.note = QStringLiteral("tomatoes");
    embeddings->vectors.insert(embeddingInputText(edited), QList<double>{3.0, 4.0});
    failItemSaves(*store, true);
    store->embedItem(edited);
    ASSERT_EVENTUALLY_EQ(store->semanticVectors().values(item.id), (QList<double>{3.0, 4.0}), 5000);
    (void)StoreInternals::backgroundDatabase(*store);
    EXPECT_EQ(countLines(QStringLiteral("Vesk embedding save error: ")), 1);
    failItemSaves(*store, false);

    // Nothing back leaves the vector as it was; the counter never falls below zero.
    embeddings->hold = true;
    VeskItem emptied = item;
    emptied.title.clear();
    store->embedItem(emptied);
    EXPECT_EQ(store->indexingCount(), 1);
    store->setIndexingCount(0);
    embeddings->answerAll();
    ASSERT_EVENTUALLY(embeddings->pending.isEmpty(), 5000);
    drainEvents();
    EXPECT_EQ(store->indexingCount(), 0);
    EXPECT_EQ(store->semanticVectors().values(item.id), (QList<double>{3.0, 4.0}));
}

TEST_F(StoreEmbeddings, WithoutADatabaseVectorsLiveInMemoryOnly)
{
    auto store = makeStore(false);
    const VeskItem item = makeItem(QStringLiteral("memory only"), 100);
    embeddings->vectors.insert(embeddingInputText(item), QList<double>{1.0});
    store->embedItems({item});
    ASSERT_EVENTUALLY(store->semanticVectors().contains(item.id), 5000);
    EXPECT_EQ(countLines(QStringLiteral("Vesk embedding save error: ")), 0);
}

TEST_F(StoreEmbeddings, TheDeepPassFindsItemsByMeaningAndPublishesOnlyForTheCurrentText)
{
    const VeskItem roof = makeItem(QStringLiteral("roof leak"), clock->now().toSecsSinceEpoch() - 100);
    const VeskItem ceiling = makeItem(QStringLiteral("water damage in the ceiling"), clock->now().toSecsSinceEpoch() - 50);
    seed({roof, ceiling});
    embeddings->vectors.insert(embeddingInputText(roof), QList<double>{1.0, 0.0});
    embeddings->vectors.insert(embeddingInputText(ceiling), QList<double>{0.0, 1.0});
    embeddings->vectors.insert(QStringLiteral("attic drip"), QList<double>{0.8, 0.6});
    auto store = makeQuietStore();
    ASSERT_EVENTUALLY_EQ(store->semanticVectors().size(), 2, 5000);

    // No word in common: the deep pass alone finds it.
    store->setSearchText(QStringLiteral("Attic drip "));
    store->refreshFilteredItems(store->searchText());
    EXPECT_TRUE(store->filteredItems().isEmpty());
    store->startDeepSearch(store->searchText());
    ASSERT_EVENTUALLY_EQ(store->filteredItems().size(), 2, 5000);
    EXPECT_EQ(store->filteredItems().first().id, roof.id);
    EXPECT_EQ(store->retrievalHint(roof.id), QStringLiteral("Matched by association"));

    // A pass overtaken by a newer one, or by another text, publishes nothing.
    embeddings->hold = true;
    store->setSearchText(QStringLiteral("attic drip"));
    store->refreshFilteredItems(QStringLiteral("zzzz"));
    store->startDeepSearch(QStringLiteral("attic drip"));
    store->startDeepSearch(QStringLiteral("attic drip"));
    store->setSearchText(QStringLiteral("zzzz"));
    store->startDeepSearch(QStringLiteral("attic drip"));
    embeddings->answerAll();
    drainEvents();
    EXPECT_TRUE(store->filteredItems().isEmpty());
    EXPECT_TRUE(store->retrievalHints().isEmpty());
}

// Embedding a large library stores a vector every few milliseconds while passes read the vectors
// for tens: a vector that comes during a read turn must not hold the main thread until it ends.
TEST_F(StoreEmbeddings, AVectorThatComesWhileAWorkerReadsIsKeptWhenTheTurnEndsAndSearchRunsThen)
{
    const VeskItem item = makeItem(QStringLiteral("garden"), 100);
    seed({item});
    auto store = makeQuietStore();
    store->waitForStartup();
    drainEvents();
    store->setSearchText(QStringLiteral("garden"));
    const int passesBefore = embeddings->asked(QStringLiteral("garden"));

    SearchState& state = StoreInternals::searchState(*store);
    std::promise<void> reading;
    std::promise<void> finish;
    std::thread reader([gate = state.readGate, &reading, finished = finish.get_future()] {
        (void)gate->readTurn([&] {
            reading.set_value();
            finished.wait();
        });
    });
    reading.get_future().wait();
    embeddings->vectors.insert(embeddingInputText(item), QList<double>{1.0, 0.0});
    store->embedItems({item});
    drainEvents();
    // Back on the main thread while the turn lasts: the vector waits, and so does the search that
    // should see it.
    EXPECT_FALSE(state.vectors.contains(item.id));
    EXPECT_EQ(embeddings->asked(QStringLiteral("garden")), passesBefore);

    finish.set_value();
    reader.join();
    timers->advance(10);
    EXPECT_EQ(state.vectors.values(item.id), (QList<double>{1.0, 0.0}));
    EXPECT_EQ(embeddings->asked(QStringLiteral("garden")), passesBefore + 1);
}

} // namespace
