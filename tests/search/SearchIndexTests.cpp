#include "search/SearchIndex.h"
#include "search/SearchForms.h"
#include "search/SearchIndexFile.h"
#include "search/SearchText.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

namespace vesk {
namespace {

VeskItem textItem(const QString& title, const QString& text = QString())
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    if (!text.isEmpty())
        item.text = text;
    item.searchableText = text;
    return item;
}

TEST(SearchRecord, HoldsLoweredTextsTagsAndPeople)
{
    VeskItem item = textItem(QStringLiteral("Trip #Paris-2024"), QStringLiteral("Body TEXT"));
    item.note = QStringLiteral("A Note");
    item.urlString = QStringLiteral("https://x.org/notes/#ideas");
    const SearchRecord record = makeSearchRecord(
        item, {QStringLiteral("Big Sis"), QStringLiteral("Al")}, {QStringLiteral("manual")});
    EXPECT_EQ(record.titleText(), QStringLiteral("trip #paris-2024"));
    EXPECT_EQ(record.noteText(), QStringLiteral("a note"));
    EXPECT_EQ(record.searchable(), QStringLiteral("body text al big sis"));
    EXPECT_EQ(record.combined(),
        QStringLiteral("trip #paris-2024 body text a note body text https://x.org/notes/#ideas  al big sis"));
    EXPECT_EQ(record.tags, (QStringList{"ideas", "manual", "paris-2024"}));
    EXPECT_EQ(record.people, (QSet<QString>{"big sis", "al"}));
}

TEST(SearchRecord, ContainmentLooksAcrossTheJoiningSpaces)
{
    VeskItem item = textItem(QStringLiteral("alpha"), QStringLiteral("beta gamma"));
    item.note = QStringLiteral("");
    item.filePath = QStringLiteral("/x/delta");
    const SearchRecord record = makeSearchRecord(item, {QStringLiteral("Eve")}, {});
    // combined: "alpha beta gamma  beta gamma  /x/delta eve"
    EXPECT_TRUE(record.combinedContains("alpha beta"));
    EXPECT_TRUE(record.combinedContains("gamma  beta"));
    EXPECT_TRUE(record.combinedContains("gamma  /x"));
    EXPECT_TRUE(record.combinedContains("delta eve"));
    EXPECT_FALSE(record.combinedContains("alpha gamma"));
    EXPECT_FALSE(record.combinedContains("delta  eve"));
    EXPECT_TRUE(record.searchableContains("gamma eve"));
    EXPECT_FALSE(record.titleContains("alpha beta"));

    // Every substring of the real join is found, and nothing else.
    const std::string combined = record.combined().toStdString();
    for (size_t start = 0; start < combined.size(); ++start) {
        for (size_t length = 1; start + length <= combined.size() && length < 14; ++length)
            ASSERT_TRUE(record.combinedContains(combined.substr(start, length))) << start << "+" << length;
    }
}

TEST(SearchIndex, IndexesWordsPrefixesAndTags)
{
    SearchIndex index;
    const VeskItem trip = textItem(QStringLiteral("Trip #Paris-2024"));
    index.upsert(trip, {}, {});
    EXPECT_EQ(index.tokensOfItem(trip.id),
        (QSet<QString>{"tri", "trip", "#pa", "#par", "#pari", "#paris", "202", "2024",
            "paris-2024", "#paris-2024"}));

    const VeskItem photo = textItem(QStringLiteral("photographs of me and a cat"));
    index.upsert(photo, {}, {QStringLiteral("foo_bar")});
    EXPECT_EQ(index.tokensOfItem(photo.id),
        (QSet<QString>{"pho", "phot", "photo", "photog", "photogr", "photogra", "photographs",
            "and", "cat", "foo_bar", "#foo_bar"}));

    const VeskItem underscore = textItem(QStringLiteral("foo_bar"));
    index.upsert(underscore, {}, {});
    EXPECT_EQ(index.tokensOfItem(underscore.id), (QSet<QString>{"foo", "bar"}));

    // Look-ups answer what the table of tokens holds, prefixes included.
    EXPECT_EQ(index.itemsForToken(QStringLiteral("photog")), QSet<QUuid>{photo.id});
    EXPECT_TRUE(index.itemsForToken(QStringLiteral("photograph")).isEmpty());
    EXPECT_EQ(index.itemsForToken(QStringLiteral("#foo_bar")), QSet<QUuid>{photo.id});
    EXPECT_EQ(index.itemsForToken(QStringLiteral("foo")), QSet<QUuid>{underscore.id});
    EXPECT_EQ(index.itemsForToken(QStringLiteral("#paris-2024")), QSet<QUuid>{trip.id});
    EXPECT_TRUE(index.itemsForToken(QStringLiteral("ca")).isEmpty());
}

// Two-character pieces are found through the words that hold them: a word of its own, the start,
// the middle or the end of a longer word. A piece that most words hold marks nothing when it would
// mark more than asked.
TEST(SearchIndex, TwoCharacterPiecesMarkTheItemsWhoseWordsHoldThem)
{
    SearchIndex index;
    const VeskItem alone = textItem(QStringLiteral("go"));
    const VeskItem start = textItem(QStringLiteral("gold"));
    const VeskItem middle = textItem(QStringLiteral("notes"), QStringLiteral("cargoes"));
    const VeskItem end = textItem(QStringLiteral("Santiago"));
    const VeskItem removed = textItem(QStringLiteral("go away"));
    const VeskItem other = textItem(QStringLiteral("big ox"));
    for (const VeskItem& item : {alone, start, middle, end, removed, other})
        index.upsert(item, {}, {});
    index.remove(removed.id);

    auto marked = [&](const QString& piece, size_t budget) {
        std::vector<quint8> marks(index.slotCount(), 0);
        QSet<QUuid> ids;
        if (!index.markContaining(piece, marks, budget, 4))
            return std::optional<QSet<QUuid>>();
        for (SearchIndex::Slot slot = 0; slot < marks.size(); ++slot) {
            if (marks[slot]) {
                EXPECT_EQ(marks[slot], 4);
                ids.insert(index.idAt(slot));
            }
        }
        return std::optional(ids);
    };
    EXPECT_EQ(marked(QStringLiteral("go"), 100), (QSet<QUuid>{alone.id, start.id, middle.id, end.id}));
    EXPECT_EQ(marked(QStringLiteral("ox"), 100), QSet<QUuid>{other.id});
    EXPECT_EQ(marked(QStringLiteral("go"), 3), std::nullopt);
    // Two-character words are no tokens.
    EXPECT_TRUE(index.itemsForToken(QStringLiteral("go")).isEmpty());
    EXPECT_EQ(index.tokensOfItem(other.id), QSet<QString>{"big"});
}

TEST(SearchIndex, PeopleNamesFromNamedPoolsOnly)
{
    SearchIndex index;
    const VeskItem item = textItem(QStringLiteral("Beach"));
    index.upsert(item, {QStringLiteral("Big Sis")}, {});
    const SearchRecord* record = index.record(item.id);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->people, QSet<QString>{"big sis"});
    EXPECT_TRUE(record->combined().endsWith(QStringLiteral(" big sis")));
    EXPECT_EQ(index.itemsForToken(QStringLiteral("sis")), QSet<QUuid>{item.id});
    EXPECT_EQ(index.itemsForToken(QStringLiteral("big")), QSet<QUuid>{item.id});
}

TEST(SearchIndex, AssociationTokensAndOverlap)
{
    SearchIndex index;
    VeskItem a = textItem(QStringLiteral("Budget review"), QStringLiteral("quarterly budget numbers"));
    VeskItem b = textItem(QStringLiteral("Numbers"), QStringLiteral("The budget"));
    index.upsert(a, {}, {QStringLiteral("finance")});
    index.upsert(b, {}, {});
    EXPECT_EQ(index.associationTokens(a.id),
        (QSet<QString>{"budget", "review", "quarterly", "numbers", "finance"}));
    EXPECT_EQ(index.associationTokens(b.id), (QSet<QString>{"numbers", "budget"}));
    EXPECT_DOUBLE_EQ(index.associationOverlap(a.id, b.id), 1.0);
    EXPECT_DOUBLE_EQ(index.associationOverlap(a.id, QUuid::createUuid()), 0.0);
}

// Random libraries and edits: whatever order of single-item changes led to an index, it must
// equal an index built from scratch over the same state.
class RandomLibrary {
public:
    explicit RandomLibrary(quint32 seed) : m_random(seed) {}

    QString words(int count)
    {
        static const QStringList vocabulary{"alpha", "alphabet", "alp", "beta", "Beach", "beachside",
            "photographs", "photo", "dog", "puppies", "#trip", "#Trip-2024", "a#b", "x", "ok",
            "Über", "uber", QStringLiteral("e\u0301te\u0301"), QStringLiteral("café"), "2024",
            "budget", "the", "mountain", "#idea_1", "foo_bar", "naïve", "😀smile"};
        QStringList picked;
        for (int i = 0; i < count; ++i)
            picked.append(vocabulary.at(m_random.bounded(vocabulary.size())));
        return picked.join(m_random.bounded(4) == 0 ? QStringLiteral("\n") : QStringLiteral(" "));
    }

    VeskItem item()
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        edit(item);
        return item;
    }

    void edit(VeskItem& item)
    {
        item.title = words(1 + int(m_random.bounded(3)));
        item.kind = VeskKind(m_random.bounded(5));
        item.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000 + m_random.bounded(1'000'000), Qt::UTC);
        item.note = m_random.bounded(3) == 0 ? words(2) : QString();
        const QString text = words(int(m_random.bounded(8)));
        item.text = m_random.bounded(3) == 0 ? std::nullopt : std::optional<QString>(text);
        item.searchableText = m_random.bounded(2) == 0 ? text : words(3);
        item.urlString = m_random.bounded(4) == 0 ? std::optional<QString>(QStringLiteral("https://e.org/p/#") + words(1)) : std::nullopt;
        item.filePath = m_random.bounded(4) == 0 ? std::optional<QString>(QStringLiteral("/items/") + words(1)) : std::nullopt;
    }

    QSet<QString> people()
    {
        static const QStringList names{"Big Sis", "Al", "Zoë", "Mo Mo"};
        QSet<QString> chosen;
        for (const QString& name : names) {
            if (m_random.bounded(5) == 0)
                chosen.insert(name);
        }
        return chosen;
    }

    QStringList tags()
    {
        static const QStringList all{"work", "foo_bar", "trip", "x", "ünï"};
        QStringList chosen;
        for (const QString& tag : all) {
            if (m_random.bounded(4) == 0)
                chosen.append(tag);
        }
        return chosen;
    }

    quint32 bounded(quint32 limit) { return m_random.bounded(limit); }

    // count new items appended to items, each with its people and tags.
    void append(int count, QList<VeskItem>& items, QHash<QUuid, QSet<QString>>& people, QHash<QUuid, QStringList>& tags)
    {
        for (int i = 0; i < count; ++i) {
            VeskItem made = item();
            people.insert(made.id, this->people());
            tags.insert(made.id, this->tags());
            items.append(made);
        }
    }

private:
    QRandomGenerator m_random;
};

void expectSameIndex(const SearchIndex& actual, const SearchIndex& expected)
{
    const QList<QUuid> ids = expected.ids();
    const QList<QUuid> actualIDs = actual.ids();
    ASSERT_EQ(QSet<QUuid>(actualIDs.begin(), actualIDs.end()), QSet<QUuid>(ids.begin(), ids.end()));
    for (const QUuid& id : ids) {
        ASSERT_TRUE(actual.record(id));
        EXPECT_EQ(*actual.record(id), *expected.record(id));
        // The summaries that let short queries skip texts, wherever they were worked out.
        EXPECT_TRUE(actual.summaryAt(*actual.slotOf(id)) == expected.summaryAt(*expected.slotOf(id)));
    }
    const QHash<QString, QSet<QUuid>> table = expected.tokenTable();
    EXPECT_EQ(actual.tokenTable(), table);
    EXPECT_EQ(actual.associationTable(), expected.associationTable());
    // The look-up path answers exactly what the token table holds.
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        ASSERT_EQ(actual.itemsForToken(it.key()), *it) << it.key().toStdString();
    for (const QString& absent : {QStringLiteral("zzz"), QStringLiteral("photograph"), QStringLiteral("#zz")})
        EXPECT_EQ(actual.itemsForToken(absent), table.value(absent));
}

TEST(SearchIndex, SingleItemChangesMatchAFullRebuild)
{
    for (quint32 seed = 1; seed <= 12; ++seed) {
        RandomLibrary random(seed);
        QList<VeskItem> items;
        QHash<QUuid, QSet<QString>> people;
        QHash<QUuid, QStringList> tags;
        SearchIndex incremental;
        SearchIndex synchronized;
        for (int step = 0; step < 120; ++step) {
            const quint32 action = items.isEmpty() ? 0 : random.bounded(5);
            if (action == 0 || action == 1) {
                VeskItem item = random.item();
                items.prepend(item);
                people.insert(item.id, random.people());
                tags.insert(item.id, random.tags());
                incremental.upsert(item, people.value(item.id), tags.value(item.id));
            } else if (action == 2) {
                VeskItem& item = items[random.bounded(quint32(items.size()))];
                random.edit(item);
                incremental.upsert(item, people.value(item.id), tags.value(item.id));
            } else if (action == 3) {
                const VeskItem& item = items[random.bounded(quint32(items.size()))];
                people.insert(item.id, random.people());
                tags.insert(item.id, random.tags());
                incremental.upsert(item, people.value(item.id), tags.value(item.id));
            } else {
                const VeskItem removed = items.takeAt(random.bounded(quint32(items.size())));
                EXPECT_TRUE(incremental.remove(removed.id));
                EXPECT_FALSE(incremental.remove(removed.id));
            }
            if (step % 7 == 0)
                synchronized.synchronize(items, people, tags);
        }
        synchronized.synchronize(items, people, tags);
        SearchIndex rebuilt;
        rebuilt.rebuild(items, people, tags);
        SCOPED_TRACE(seed);
        expectSameIndex(incremental, rebuilt);
        expectSameIndex(synchronized, rebuilt);
    }
}

// A large library is read by many workers at once and their tables merged; the result must be
// what adding the items one by one gives, including an id that comes twice (the later wins).
TEST(SearchIndex, ParallelRebuildMatchesItemByItemUpserts)
{
    RandomLibrary random(99);
    QList<VeskItem> items;
    QHash<QUuid, QSet<QString>> people;
    QHash<QUuid, QStringList> tags;
    random.append(3000, items, people, tags);
    VeskItem again = items[10];
    random.edit(again);
    items.append(again);

    SearchIndex serial;
    for (const VeskItem& item : items)
        serial.upsert(item, people.value(item.id), tags.value(item.id));
    SearchIndex parallel;
    parallel.rebuild(items, people, tags);
    EXPECT_EQ(parallel.size(), 3000);
    expectSameIndex(parallel, serial);
    EXPECT_EQ(parallel.record(again.id)->titleText(), again.title.toLower());

    // The rebuilt index keeps accepting single changes.
    parallel.upsert(items[5], {}, {QStringLiteral("fresh")});
    serial.upsert(items[5], {}, {QStringLiteral("fresh")});
    EXPECT_TRUE(parallel.remove(items[7].id));
    EXPECT_TRUE(serial.remove(items[7].id));
    expectSameIndex(parallel, serial);
}

// A capture into a large library adds one item to an index that a build sized for the library
// as it was: the values kept per item must stay where they are, not be copied to a larger array.
TEST(SearchIndex, AnItemAddedAfterABuildMovesNoneOfTheKeptValues)
{
    for (const int count : {1, 1023, 1024, 3000}) {
        SCOPED_TRACE(count);
        RandomLibrary random{quint32(count)};
        QList<VeskItem> items;
        for (int i = 0; i < count; ++i)
            items.append(random.item());
        SearchIndex index;
        index.rebuild(items, {}, {});
        const QUuid* id = &index.idAt(0);
        const TextSummary* summary = &index.summaryAt(0);
        for (int added = 0; added < 3; ++added)
            index.upsert(random.item(), {}, {});
        EXPECT_EQ(index.size(), count + 3);
        EXPECT_EQ(&index.idAt(0), id);
        EXPECT_EQ(&index.summaryAt(0), summary);
    }
}

// A large capture's entry is read on a worker and applied on the main thread: the result must be
// what upsert gives, and a reading of an item as it no longer is must never enter the index.
TEST(SearchIndex, EntriesPreparedOnWorkersMatchUpsertsAndOutdatedOnesAreReadAgain)
{
    RandomLibrary random(7);
    QList<VeskItem> items;
    for (int i = 0; i < 40; ++i)
        items.append(random.item());
    std::vector<std::shared_ptr<SearchIndex::Prepared>> prepared(items.size());
    std::vector<std::thread> workers;
    for (qsizetype i = 0; i < items.size(); ++i)
        workers.emplace_back([&, i] { prepared[i] = SearchIndex::prepare(items[i], {}, {QStringLiteral("kept")}); });
    for (std::thread& worker : workers)
        worker.join();

    SearchIndex applied;
    SearchIndex serial;
    for (qsizetype i = 0; i < items.size(); ++i) {
        applied.apply(*prepared[i], items[i], {}, {QStringLiteral("kept")});
        serial.upsert(items[i], {}, {QStringLiteral("kept")});
    }
    expectSameIndex(applied, serial);

    // Read before an edit, or with other tags: the item is read as it is now.
    VeskItem edited = textItem(QStringLiteral("harbour"), QStringLiteral("ferry timetable"));
    auto early = SearchIndex::prepare(edited, {}, {});
    auto untagged = SearchIndex::prepare(edited, {}, {});
    edited.note = QStringLiteral("lantern");
    applied.apply(*early, edited, {}, {});
    EXPECT_EQ(applied.itemsForToken(QStringLiteral("lantern")), QSet<QUuid>{edited.id});
    applied.apply(*untagged, edited, {}, {QStringLiteral("night")});
    EXPECT_EQ(applied.itemsForToken(QStringLiteral("#night")), QSet<QUuid>{edited.id});
    EXPECT_EQ(applied.itemsForToken(QStringLiteral("ferry")), QSet<QUuid>{edited.id});

    // Applying again what is indexed already changes nothing.
    applied.apply(*prepared[3], items[3], {}, {QStringLiteral("kept")});
    serial.upsert(edited, {}, {QStringLiteral("night")});
    expectSameIndex(applied, serial);

    // What is indexed is current only for the very item, people and tags it was read from.
    EXPECT_TRUE(applied.isCurrent(edited, {}, {QStringLiteral("night")}));
    EXPECT_FALSE(applied.isCurrent(edited, {}, {}));
    EXPECT_FALSE(applied.isCurrent(edited, {QStringLiteral("Ann")}, {QStringLiteral("night")}));
    VeskItem later = edited;
    later.note = QStringLiteral("lantern!");
    EXPECT_FALSE(applied.isCurrent(later, {}, {QStringLiteral("night")}));
    EXPECT_FALSE(applied.isCurrent(textItem(QStringLiteral("new"), QStringLiteral("never indexed")), {}, {}));
}

// Texts of plain ASCII are read from their bytes without being decoded; what they give must be
// exactly what the decoded text gives.
TEST(SearchRecord, PlainAsciiTextsReadAsTheirDecodedForms)
{
    const QString texts[] = {QString(), QStringLiteral("Hello World"), QStringLiteral("#Tag-1 foo_bar BAZ #x"),
        QStringLiteral("tab\there\nline 3d4 2024 q7 THE the"), QStringLiteral("a#b ## #_x trailing#"),
        QStringLiteral("##Deep #a#b _#x x-#y #-z #9Lives #UP-to_date, (#paren) end#"),
        QStringLiteral("  spaces  and\r\npunctuation!?(x)  "), QStringLiteral("ctrl\x01char\x7f end")};
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        VeskItem item;
        item.searchableText = text;
        ASSERT_TRUE(item.searchableText.isAscii());
        QStringList visited;
        const SearchRecord record =
            makeSearchRecord(item, {}, {}, [&](QStringView word) { visited.append(word.toString()); });
        const QString folded = searchFoldedForm(searchNormalForm(text));
        EXPECT_EQ(record.searchableText.folded(), folded.toStdString());
        // Read in the item's own buffer, not held a second time.
        EXPECT_EQ(record.searchableText.view().bytes.data(), item.searchableText.constData());
        EXPECT_EQ(record.tags, extractHashtags(combinedJoin(item, QString())));
        QStringList expectedWords;
        forEachIndexWord(folded, [&](QStringView word) { expectedWords.append(word.toString()); });
        EXPECT_EQ(visited, expectedWords);

        QStringList contentWords;
        forEachContentWordOfAscii(item.searchableText.constData(), item.searchableText.utf8().size(),
            [&](QStringView word) { contentWords.append(word.toString()); });
        QStringList expectedContent;
        forEachContentWordOf(text, [&](QStringView word) { expectedContent.append(word.toString()); });
        EXPECT_EQ(contentWords, expectedContent);
    }
}

// A start takes the words of unchanged items from the image an earlier start kept. Whatever
// changed since, the index must be the one a build that reads every item makes, and only the
// changed items are read.
TEST(SearchIndex, ARebuildFromAKeptImageMatchesOneThatReadsEverything)
{
    struct Library {
        QList<VeskItem> items;
        QHash<QUuid, QSet<QString>> people;
        QHash<QUuid, QStringList> tags;
    };
    RandomLibrary random(31);
    Library base;
    for (int i = 0; i < 400; ++i) {
        VeskItem item = random.item();
        base.people.insert(item.id, random.people());
        base.tags.insert(item.id, random.tags());
        base.items.append(item);
    }
    SearchIndexImage kept;
    {
        SearchIndex first;
        const auto report = first.rebuild(base.items, base.people, base.tags, nullptr, &kept);
        ASSERT_TRUE(report.imageMade);
        EXPECT_EQ(kept.items.size(), 400u);
    }
    const QByteArray engine("test-engine");
    const std::optional<SearchIndexImage> fromFile = decodeSearchIndexImage(encodeSearchIndexImage(kept, engine), engine);
    ASSERT_TRUE(fromFile);

    struct Case {
        const char* name;
        std::function<void(Library&)> change;
        size_t reused;
    };
    const Case cases[] = {
        {"nothing changed", [](Library&) {}, 400},
        {"a text edited", [&](Library& l) { l.items[3].searchableText = QStringLiteral("entirely new words"); }, 399},
        {"a title edited", [&](Library& l) { l.items[4].title = QStringLiteral("Ünïcode title"); }, 399},
        {"an item removed", [&](Library& l) { l.items.removeAt(5); }, 399},
        {"an item added", [&](Library& l) { l.items.prepend(random.item()); }, 400},
        {"items in another order", [&](Library& l) { std::reverse(l.items.begin(), l.items.end()); }, 400},
        {"a person named", [&](Library& l) { l.people[l.items[6].id].insert(QStringLiteral("New Name")); }, 399},
        {"a manual tag added", [&](Library& l) { l.tags[l.items[7].id].append(QStringLiteral("extra")); }, 399},
        {"a link changed", [&](Library& l) { l.items[8].urlString = QStringLiteral("https://new.example/#fresh"); }, 399},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Library library = base;
        c.change(library);
        SearchIndex expected;
        expected.rebuild(library.items, library.people, library.tags);
        SearchIndex fromImage;
        SearchIndexImage next;
        const auto report = fromImage.rebuild(library.items, library.people, library.tags, &*fromFile, &next);
        EXPECT_EQ(report.reused, c.reused);
        EXPECT_EQ(report.read, size_t(library.items.size()) - c.reused);
        expectSameIndex(fromImage, expected);
        // A new image is made exactly when the kept one no longer fits, and it fits then.
        EXPECT_EQ(report.imageMade, c.reused != 400 || library.items.size() != 400);
        if (report.imageMade) {
            const auto again = decodeSearchIndexImage(encodeSearchIndexImage(next, engine), engine);
            ASSERT_TRUE(again);
            SearchIndex third;
            EXPECT_EQ(third.rebuild(library.items, library.people, library.tags, &*again).reused,
                size_t(library.items.size()));
            expectSameIndex(third, expected);
        }
    }

    // An image whose dictionary holds a word twice is not used at all.
    SearchIndexImage twice = *fromFile;
    ASSERT_GE(twice.words.size(), 2u);
    twice.words[1] = twice.words[0];
    SearchIndex rebuilt;
    EXPECT_EQ(rebuilt.rebuild(base.items, base.people, base.tags, &twice).reused, 0u);
    SearchIndex expected;
    expected.rebuild(base.items, base.people, base.tags);
    expectSameIndex(rebuilt, expected);
}

// Whichever way an index was made (item by item, one build, or a build that took its words from
// a kept image), taking items out, one by one or together, must leave what a build of the
// remaining items gives, however the removed items' texts read by then; items put in afterwards
// (in a freed slot or a new one) must find no trace of those before. The library is large enough
// for its commonest words to be kept as bits.
TEST(SearchIndex, RemovalsLeaveWhatABuildOfTheRemainingItemsGives)
{
    RandomLibrary random(57);
    QList<VeskItem> base;
    QHash<QUuid, QSet<QString>> people;
    QHash<QUuid, QStringList> tags;
    random.append(1030, base, people, tags);
    // Items that share their words with each other and repeat them within themselves.
    for (int i = 0; i < 3; ++i)
        base.append(textItem(QStringLiteral("Harbour ferry"), QStringLiteral("harbour harbour ferry timetable #ferry ferry")));
    // A long note of many distinct words.
    QString longText;
    for (int i = 0; i < 3000; ++i)
        longText += QStringLiteral("word%1x ").arg(i, 0, 36) + (i % 7 == 0 ? QStringLiteral("harbour\n") : QString());
    base.append(textItem(QStringLiteral("Long note"), longText));
    const qsizetype shared = 1030;
    const qsizetype longNote = 1033;

    struct Case {
        const char* name;
        QList<qsizetype> removed;
        // Changes the items after they were indexed, before their removal.
        std::function<void(QList<VeskItem>&)> changeAfterIndexing;
    };
    const Case cases[] = {
        {"one from the middle", {150}, {}},
        {"the first and the last", {0, longNote}, {}},
        {"every seventh", [] {
             QList<qsizetype> every;
             for (qsizetype i = 0; i < 1030; i += 7)
                 every.append(i);
             return every;
         }(), {}},
        {"an item whose texts changed after it was indexed", {42},
            [](QList<VeskItem>& items) {
                items[42].title = QStringLiteral("Renamed");
                items[42].searchableText = QStringLiteral("nothing it was indexed with");
                items[42].text = std::nullopt;
            }},
        {"items sharing their words, two of three", {shared, shared + 2}, {}},
        {"the long note", {longNote}, {}},
        {"all of them", [&] {
             QList<qsizetype> all;
             for (qsizetype i = 0; i < base.size(); ++i)
                 all.append(i);
             return all;
         }(), {}},
    };
    SearchIndexImage kept;
    {
        SearchIndex first;
        first.rebuild(base, people, tags, nullptr, &kept);
    }
    // As a start reads it from its file, where the words are in another order.
    const QByteArray engine("test-engine");
    const std::optional<SearchIndexImage> image = decodeSearchIndexImage(encodeSearchIndexImage(kept, engine), engine);
    ASSERT_TRUE(image);
    enum class Made { ItemByItem, Built, BuiltFromImage };
    for (const Case& test : cases) {
        for (const Made made : {Made::ItemByItem, Made::Built, Made::BuiltFromImage}) {
            for (const bool together : {false, true}) {
                SCOPED_TRACE(test.name);
                SCOPED_TRACE(int(made));
                SCOPED_TRACE(together ? "removed together" : "removed one by one");
                SearchIndex index;
                if (made == Made::ItemByItem) {
                    for (const VeskItem& item : base)
                        index.upsert(item, people.value(item.id), tags.value(item.id));
                } else if (made == Made::Built) {
                    index.rebuild(base, people, tags);
                } else {
                    ASSERT_EQ(index.rebuild(base, people, tags, &*image).reused, size_t(base.size()));
                }
                QList<VeskItem> items = base;
                if (test.changeAfterIndexing)
                    test.changeAfterIndexing(items);
                QList<VeskItem> remaining;
                QSet<QUuid> removed;
                for (qsizetype i = 0; i < items.size(); ++i) {
                    if (!test.removed.contains(i))
                        remaining.append(items[i]);
                    else if (together)
                        removed.insert(items[i].id);
                    else
                        EXPECT_TRUE(index.remove(items[i].id));
                }
                // An identifier the index does not hold is passed over.
                removed.insert(QUuid::createUuid());
                EXPECT_EQ(index.removeAll(removed), together ? test.removed.size() : 0);
                SearchIndex fresh;
                fresh.rebuild(remaining, people, tags);
                expectSameIndex(index, fresh);

                // A short item takes a freed slot, a long one a new slot.
                const VeskItem added = textItem(QStringLiteral("Added later"), QStringLiteral("ferry lantern"));
                VeskItem longAdded = base[longNote];
                longAdded.id = QUuid::createUuid();
                for (const VeskItem& item : {added, longAdded}) {
                    index.upsert(item, {}, {});
                    remaining.prepend(item);
                }
                fresh.rebuild(remaining, people, tags);
                expectSameIndex(index, fresh);
            }
        }
    }
}

TEST(SearchIndex, SynchronizeTouchesOnlyChangedItems)
{
    QList<VeskItem> items{textItem(QStringLiteral("one")), textItem(QStringLiteral("two")),
        textItem(QStringLiteral("three"))};
    SearchIndex index;
    EXPECT_EQ(index.synchronize(items, {}, {}), 3);
    EXPECT_EQ(index.synchronize(items, {}, {}), 0);
    items[1].note = QStringLiteral("changed");
    items.removeAt(2);
    EXPECT_EQ(index.synchronize(items, {}, {{items[0].id, {QStringLiteral("tag")}}}), 3);
    EXPECT_EQ(index.size(), 2);
    EXPECT_EQ(index.itemsForToken(QStringLiteral("#tag")), QSet<QUuid>{items[0].id});
    EXPECT_EQ(index.itemsForToken(QStringLiteral("chang")), QSet<QUuid>{items[1].id});
    EXPECT_TRUE(index.itemsForToken(QStringLiteral("three")).isEmpty());
}

} // namespace
} // namespace vesk
