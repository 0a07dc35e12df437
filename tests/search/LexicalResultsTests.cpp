// What a person typing into the search field gets back from a small library of real-looking notes:
// which items are found and which are not, query by query.
#include "search/LexicalMatch.h"
#include "search/SearchIndex.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace vesk {
namespace {

struct Note {
    const char* title;
    const char* text;
};

// Titles are unique, so a test names items by title. Non-ASCII is written as escapes so that the
// composed and decomposed forms stay exactly what they say.
const Note kNotes[] = {
    {"Invoice March", "amount due 340"},
    {"Spare key", "under the blue pot by the door"},
    {"Dad\u2019s birthday", "gift ideas"},
    {"Q3-planning board", "roadmap"},
    {"Q3 planning retro", "what went well"},
    {"Dentist", "appointment at 14:30 on 2024-03-15"},
    {"Cr\u00e8me br\u00fbl\u00e9e", "dessert, composed"},
    {"Cre\u0300me caramel", "dessert, decomposed"},
    {"Creme soda", "plain letters"},
    {"Na\u00efve art", "paintings"},
    {"Z\u00fcrich trip", "train times"},
    {"Zurich airport", "terminal 2"},
    {"\uff21\uff22\uff23 corp", "full-width name"},
    {"Sea view flat", "rent"},
    {"Two seas", "crossing"},
    {"Seat booking", "row 12"},
    {"Search tips", "use quotes"},
    {"Car keys", "in the drawer"},
    {"Cars to compare", "list"},
    {"Birthday card", "for mum"},
    {"Carrots", "shopping"},
    {"Christmas tree", "buy lights"},
    {"Main street", "new bakery"},
    {"Notebook", "paper, A5"},
    {"Three puppies", "photos"},
};

class LexicalResultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qint64 secs = 1'700'000'000;
        for (const Note& note : kNotes) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = QString::fromUtf8(note.title);
            item.text = QString::fromUtf8(note.text);
            item.searchableText = *item.text;
            item.createdAt = QDateTime::fromSecsSinceEpoch(secs++, Qt::UTC);
            index.upsert(item, {}, {});
            byTitle.insert(item.title, item.id);
        }
        VeskItem work;
        work.id = QUuid::createUuid();
        work.title = QStringLiteral("Plans");
        work.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000, Qt::UTC);
        index.upsert(work, {}, {QStringLiteral("work")});
        byTitle.insert(work.title, work.id);
        VeskItem beach;
        beach.id = QUuid::createUuid();
        beach.title = QStringLiteral("Beach day");
        beach.kind = VeskKind::Image;
        beach.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'001, Qt::UTC);
        index.upsert(beach, {QStringLiteral("Big Sis")}, {});
        byTitle.insert(beach.title, beach.id);
    }

    QSet<QString> found(const QString& query) const
    {
        QSet<QString> titles;
        for (const QUuid& id : lexicalMatch(index, query).rankedIDs)
            titles.insert(byTitle.key(id));
        return titles;
    }

    SearchIndex index;
    QHash<QString, QUuid> byTitle;
};

struct Case {
    const char* query;
    std::vector<const char*> finds;
    std::vector<const char*> misses;
};

void expectCase(const QSet<QString>& titles, const Case& c)
{
    for (const char* title : c.finds)
        EXPECT_TRUE(titles.contains(QString::fromUtf8(title))) << c.query << " should find " << title;
    for (const char* title : c.misses)
        EXPECT_FALSE(titles.contains(QString::fromUtf8(title))) << c.query << " should not find " << title;
}

TEST_F(LexicalResultsTest, PunctuationAroundATermIsNotPartOfIt)
{
    const Case cases[] = {
        {"invoice?", {"Invoice March"}, {}},
        {"\"spare key\"", {"Spare key"}, {}},
        {"key?", {"Spare key", "Car keys"}, {}},
        {"(march),", {"Invoice March"}, {}},
        {"dad's", {"Dad\u2019s birthday"}, {}},
        {"dad\u2019s", {"Dad\u2019s birthday"}, {}},
        {"\u201cdad\u2019s\u201d", {"Dad\u2019s birthday"}, {}},
        // Punctuation inside a term stays.
        {"q3-planning", {"Q3-planning board"}, {"Q3 planning retro"}},
        {"14:30", {"Dentist"}, {}},
        {"2024-03-15.", {"Dentist"}, {}},
        {"#work,", {"Plans"}, {}},
    };
    for (const Case& c : cases)
        expectCase(found(QString::fromUtf8(c.query)), c);

    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("(#work) \"Key?\""));
    EXPECT_EQ(snapshot.query, QStringLiteral("(#work) \"key?\""));
    EXPECT_EQ(snapshot.literalTerms, (QStringList{"#work", "key"}));
    EXPECT_EQ(snapshot.requestedTags, QSet<QString>{"work"});
    // A term of punctuation only is kept as typed.
    EXPECT_EQ(lexicalMatch(index, QStringLiteral("?")).literalTerms, QStringList{"?"});
}

TEST_F(LexicalResultsTest, ComposedAndDecomposedTextsMatchAlike)
{
    const Case cases[] = {
        {"cr\u00e8me", {"Cr\u00e8me br\u00fbl\u00e9e", "Cre\u0300me caramel"}, {"Creme soda"}},
        {"cre\u0300me", {"Cr\u00e8me br\u00fbl\u00e9e", "Cre\u0300me caramel"}, {"Creme soda"}},
        {"creme", {"Cr\u00e8me br\u00fbl\u00e9e", "Cre\u0300me caramel", "Creme soda"}, {}},
    };
    for (const Case& c : cases)
        expectCase(found(QString::fromUtf8(c.query)), c);
}

TEST_F(LexicalResultsTest, AQueryWithoutAccentsFindsTextWithThem)
{
    const Case cases[] = {
        {"naive", {"Na\u00efve art"}, {}},
        {"zurich", {"Z\u00fcrich trip", "Zurich airport"}, {}},
        {"abc", {"\uff21\uff22\uff23 corp"}, {}},
        {"brulee", {"Cr\u00e8me br\u00fbl\u00e9e"}, {}},
        // An accented query keeps to its exact form.
        {"z\u00fcrich", {"Z\u00fcrich trip"}, {"Zurich airport"}},
    };
    for (const Case& c : cases)
        expectCase(found(QString::fromUtf8(c.query)), c);

    // Found without accents, the item scores as its exact form would.
    const QUuid trip = byTitle.value(QString::fromUtf8("Z\u00fcrich trip"));
    EXPECT_DOUBLE_EQ(lexicalMatch(index, QStringLiteral("zurich")).scores.value(trip),
        lexicalMatch(index, QString::fromUtf8("Z\u00fcrich")).scores.value(trip));
}

TEST_F(LexicalResultsTest, WideningWordsCountOnlyAsWholeWords)
{
    const Case cases[] = {
        {"coast", {"Sea view flat", "Two seas"}, {"Seat booking", "Search tips"}},
        {"vehicle", {"Car keys", "Cars to compare"}, {"Birthday card", "Carrots"}},
        {"holiday", {"Christmas tree"}, {"Main street"}},
        // Typed words still match inside other words.
        {"sea", {"Sea view flat", "Seat booking", "Search tips"}, {}},
        {"car", {"Car keys", "Birthday card", "Carrots"}, {}},
    };
    for (const Case& c : cases)
        expectCase(found(QString::fromUtf8(c.query)), c);

    // The whole word outranks what merely contains it.
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("vehicle"));
    ASSERT_FALSE(snapshot.rankedIDs.isEmpty());
    EXPECT_TRUE(snapshot.rankedIDs.first() == byTitle.value(QStringLiteral("Car keys"))
        || snapshot.rankedIDs.first() == byTitle.value(QStringLiteral("Cars to compare")));
}

TEST_F(LexicalResultsTest, TypingMoreOfAWordNeverLosesTheItem)
{
    for (const char* query : {"n", "no", "bo", "boo", "book", "ook", "tebo", "notebook"})
        EXPECT_TRUE(found(QString::fromLatin1(query)).contains(QStringLiteral("Notebook"))) << query;
    for (const char* query : {"lan", "lanni", "anning"})
        EXPECT_TRUE(found(QString::fromLatin1(query)).contains(QStringLiteral("Q3 planning retro"))) << query;
}

TEST_F(LexicalResultsTest, ExamplesThatDoNotChange)
{
    const QUuid plans = byTitle.value(QStringLiteral("Plans"));
    LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("#Work"));
    EXPECT_EQ(snapshot.requestedTags, QSet<QString>{"work"});
    EXPECT_TRUE(snapshot.plainTagTerms.isEmpty());
    EXPECT_DOUBLE_EQ(snapshot.scores.value(plans), 22.0);
    EXPECT_EQ(snapshot.hints.value(plans), QStringLiteral("Matched #work"));

    const QUuid puppies = byTitle.value(QStringLiteral("Three puppies"));
    snapshot = lexicalMatch(index, QStringLiteral("dog"));
    EXPECT_NEAR(snapshot.scores.value(puppies), 2.1 + 0.8, 1e-9);
    EXPECT_FALSE(snapshot.hints.contains(puppies));

    const QUuid beach = byTitle.value(QStringLiteral("Beach day"));
    snapshot = lexicalMatch(index, QStringLiteral("sis"));
    EXPECT_EQ(snapshot.hints.value(beach), QStringLiteral("Contains Big Sis"));
    EXPECT_DOUBLE_EQ(snapshot.scores.value(beach), 12.0 + 3.5 + 2.0 + 4.0);

    // "a" scores every item that holds an "a" anywhere.
    snapshot = lexicalMatch(index, QStringLiteral("a"));
    for (auto it = byTitle.cbegin(); it != byTitle.cend(); ++it) {
        const SearchRecord* record = index.record(*it);
        EXPECT_EQ(snapshot.scores.contains(*it), record->combined().contains(QLatin1Char('a')))
            << it.key().toStdString();
    }
}

// Random libraries and queries: the items the index picks as candidates must include every item
// that scoring all of them finds, and what the index knows of the items' texts (their bytes, their
// words) must score as reading the texts does, so both give the same snapshot. Short queries
// take most of these shortcuts, so many queries are one or two characters.
TEST(LexicalCandidates, HoldEveryItemThatScores)
{
    QRandomGenerator random(20261207);
    const QStringList pieces = {"sea", "seat", "car", "cards", "tree", "street", "book", "note", "na\u00efve",
        "naive", "Z\u00fcrich", "cre\u0300me", "cr\u00e8me", "dad\u2019s", "q3-plan", "14:30", "#work",
        "#caf\u00e9", "\uff21\uff22", "a", "x", "puppy", "dogs", "\u2122", "ab", "b.c", "#", "e\u0301",
        "pet", "coast", "seas", "__x", "k\u00f6ln", "\u00bd"};
    auto randomText = [&](int words) {
        QStringList parts;
        for (int i = 0; i < words; ++i) {
            QString piece = pieces.at(random.bounded(int(pieces.size())));
            // Glue some pieces together, so words form inside and across them.
            if (random.bounded(3) == 0)
                piece += pieces.at(random.bounded(int(pieces.size())));
            parts.append(piece);
        }
        return parts.join(random.bounded(2) ? QStringLiteral(" ") : QStringLiteral(", "));
    };

    for (int round = 0; round < 20; ++round) {
        SearchIndex index;
        QList<VeskItem> items;
        for (int i = 0; i < 40; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = randomText(1 + random.bounded(3));
            item.note = random.bounded(3) == 0 ? randomText(2) : QString();
            item.searchableText = randomText(random.bounded(6));
            if (random.bounded(2))
                item.text = randomText(3);
            if (random.bounded(3) == 0) {
                // A note: its title is its first line.
                item.searchableText = item.title + QLatin1Char('\n') + item.searchableText.toString();
                item.text = item.searchableText;
            }
            if (random.bounded(4) == 0)
                item.urlString = QStringLiteral("https://example.org/") + randomText(1);
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 + random.bounded(100'000), Qt::UTC);
            items.append(item);
        }
        QHash<QUuid, QSet<QString>> people;
        people.insert(items[0].id, {QStringLiteral("Big Sis"), QString::fromUtf8("Ren\u00e9e")});
        QHash<QUuid, QStringList> tags;
        tags.insert(items[1].id, {QStringLiteral("work"), QStringLiteral("car")});
        index.rebuild(items, people, tags);
        // Some items changed in place afterwards, as edits do.
        for (int i = 0; i < 5; ++i) {
            VeskItem& item = items[random.bounded(int(items.size()))];
            item.title = randomText(2);
            index.upsert(item, people.value(item.id), tags.value(item.id));
        }

        for (int q = 0; q < 40; ++q) {
            QString query;
            if (q % 4 == 1) {
                const VeskItem& item = items[random.bounded(int(items.size()))];
                const QString source = item.title + QLatin1Char(' ') + item.searchableText.toString();
                query = source.mid(random.bounded(int(source.size())), 1 + random.bounded(2));
            } else if (q % 2 == 0) {
                // A piece of some item's own text, as a person remembers it.
                const VeskItem& item = items[random.bounded(int(items.size()))];
                const QString source = item.title + QLatin1Char(' ') + item.searchableText.toString();
                const int start = random.bounded(int(source.size()));
                query = source.mid(start, 1 + random.bounded(8));
            } else {
                query = randomText(1 + random.bounded(2));
            }
            const LexicalSnapshot picked = lexicalMatch(index, query);
            const LexicalSnapshot all = lexicalMatchScanningAll(index, query);
            ASSERT_EQ(picked.scores, all.scores) << query.toStdString();
            ASSERT_EQ(picked.rankedIDs, all.rankedIDs) << query.toStdString();
            ASSERT_EQ(picked.hints, all.hints) << query.toStdString();
        }
    }
}

} // namespace
} // namespace vesk
