#include "search/LexicalMatch.h"
#include "search/SearchIndex.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

class LexicalMatchTest : public ::testing::Test {
protected:
    VeskItem add(const QString& title, const QString& text = QString(), VeskKind kind = VeskKind::Text,
        const QSet<QString>& people = {}, const QStringList& tags = {}, qint64 secs = 1'700'000'000)
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = title;
        item.kind = kind;
        item.createdAt = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
        if (!text.isEmpty())
            item.text = text;
        item.searchableText = text;
        index.upsert(item, people, tags);
        return item;
    }

    SearchIndex index;
};

TEST_F(LexicalMatchTest, BlankQueryGivesTheEmptySnapshot)
{
    add(QStringLiteral("anything"));
    EXPECT_EQ(lexicalMatch(index, QStringLiteral(" \n\t ")), LexicalSnapshot());
}

TEST_F(LexicalMatchTest, ParsesTermsTagsAndExpansions)
{
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("  #Work  Dog # "));
    EXPECT_EQ(snapshot.query, QStringLiteral("#work  dog #"));
    EXPECT_EQ(snapshot.literalTerms, (QStringList{"#work", "dog", "#"}));
    EXPECT_EQ(snapshot.requestedTags, QSet<QString>{"work"});
    EXPECT_EQ(snapshot.plainTagTerms, QSet<QString>{"dog"});
    EXPECT_EQ(QSet<QString>(snapshot.expandedTerms.begin(), snapshot.expandedTerms.end()),
        (QSet<QString>{"#work", "dog", "#", "dogs", "puppy", "puppies", "canine", "pet"}));

    // Only the given terms choose groups.
    const QStringList pet = expandTerms({QStringLiteral("pet")});
    EXPECT_TRUE(pet.contains(QStringLiteral("kitten")) && pet.contains(QStringLiteral("puppy")));
    EXPECT_FALSE(pet.contains(QStringLiteral("christmas")));
    EXPECT_EQ(expandTerms({QStringLiteral("vehicle")}).size(), 6);
}

TEST_F(LexicalMatchTest, TitleOnlyWordScoresSixteen)
{
    const VeskItem item = add(QStringLiteral("Quarterly report"), QStringLiteral("numbers"));
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("Quarterly"));
    EXPECT_DOUBLE_EQ(snapshot.scores.value(item.id), 16.0);
    EXPECT_EQ(snapshot.hints.value(item.id), QStringLiteral("Matched title"));
}

TEST_F(LexicalMatchTest, ReasonsFollowTheOrderOfTheSteps)
{
    const VeskItem contents = add(QStringLiteral("x"), QStringLiteral("see the report"));
    const VeskItem image = add(QStringLiteral("y"), QStringLiteral("report scan"), VeskKind::Image);
    VeskItem noted = add(QStringLiteral("z"));
    noted.note = QStringLiteral("report due");
    index.upsert(noted, {}, {});
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("report"));
    // Contents: searchable 3.5, combined 2 (holding it twice changes nothing), whole query 4.
    EXPECT_DOUBLE_EQ(snapshot.scores.value(contents.id), 9.5);
    EXPECT_EQ(snapshot.hints.value(contents.id), QStringLiteral("Found in contents"));
    EXPECT_EQ(snapshot.hints.value(image.id), QStringLiteral("Found in image"));
    EXPECT_DOUBLE_EQ(snapshot.scores.value(noted.id), 4.5 + 2.0 + 4.0);
    EXPECT_EQ(snapshot.hints.value(noted.id), QStringLiteral("Matched note"));
}

TEST_F(LexicalMatchTest, ExpandedWordsScoreWithoutAReason)
{
    const VeskItem item = add(QStringLiteral("Three puppies"));
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("dog"));
    EXPECT_NEAR(snapshot.scores.value(item.id), 2.1 + 0.8, 1e-9);
    EXPECT_FALSE(snapshot.hints.contains(item.id));
}

TEST_F(LexicalMatchTest, TagsScoreAndTheirReasonComesFirst)
{
    const VeskItem tagged = add(QStringLiteral("Work plan"), QString(), VeskKind::Text, {}, {QStringLiteral("work")});
    LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("work"));
    // Tag 5.5, title 6, combined 2, whole query in the title 8.
    EXPECT_DOUBLE_EQ(snapshot.scores.value(tagged.id), 21.5);
    EXPECT_EQ(snapshot.hints.value(tagged.id), QStringLiteral("Matched #work"));

    const VeskItem hashtag = add(QStringLiteral("notes"), QStringLiteral("plans #Work"));
    snapshot = lexicalMatch(index, QStringLiteral("#Work"));
    EXPECT_DOUBLE_EQ(snapshot.scores.value(tagged.id), 22.0);
    // 22 for the tag, then the text "#work" in the contents: 3.5 + 2 + 4.
    EXPECT_DOUBLE_EQ(snapshot.scores.value(hashtag.id), 31.5);
    EXPECT_EQ(snapshot.hints.value(hashtag.id), QStringLiteral("Matched #work"));
}

TEST_F(LexicalMatchTest, PeopleNamesScoreWithTheNameAsReason)
{
    const VeskItem item = add(QStringLiteral("Beach day"), QString(), VeskKind::Image, {QStringLiteral("Big Sis")});
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("sis"));
    // People 12, searchable (the names are in it) 3.5, combined 2, whole query 4.
    EXPECT_DOUBLE_EQ(snapshot.scores.value(item.id), 21.5);
    EXPECT_EQ(snapshot.hints.value(item.id), QStringLiteral("Contains Big Sis"));
}

TEST_F(LexicalMatchTest, ShortTermsAndUnindexedWordsScoreEveryItem)
{
    const VeskItem a = add(QStringLiteral("alpha"));
    const VeskItem b = add(QStringLiteral("beta"), QStringLiteral("has an a"));
    const VeskItem c = add(QStringLiteral("zzz"));
    LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("a"));
    EXPECT_EQ(QSet<QUuid>(snapshot.rankedIDs.begin(), snapshot.rankedIDs.end()), (QSet<QUuid>{a.id, b.id}));
    EXPECT_FALSE(snapshot.scores.contains(c.id));

    // "lph" is no word or prefix in the index, yet a substring of a title.
    snapshot = lexicalMatch(index, QStringLiteral("lph"));
    EXPECT_EQ(snapshot.rankedIDs, QList<QUuid>{a.id});
}

TEST_F(LexicalMatchTest, WholeQueryCountsAcrossPartsOfTheCombinedText)
{
    const VeskItem item = add(QStringLiteral("red"), QStringLiteral("car wash"));
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("red car"));
    // red: title 6 + combined 2; car: searchable 3.5 + combined 2; "red car" in combined 4;
    // expanded words of the car group (cars, automobile, vehicle) hold nothing here.
    EXPECT_DOUBLE_EQ(snapshot.scores.value(item.id), 17.5);
}

TEST_F(LexicalMatchTest, RanksByScoreThenNewerFirst)
{
    const VeskItem older = add(QStringLiteral("report"), QString(), VeskKind::Text, {}, {}, 1'000);
    const VeskItem newer = add(QStringLiteral("report"), QString(), VeskKind::Text, {}, {}, 2'000);
    const VeskItem best = add(QStringLiteral("report"), QStringLiteral("report"), VeskKind::Text, {}, {}, 10);
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("report"));
    EXPECT_EQ(snapshot.rankedIDs, (QList<QUuid>{best.id, newer.id, older.id}));
}

TEST_F(LexicalMatchTest, ManyCandidatesScoreAsFewDo)
{
    // Enough candidates to be scored on several threads; every score must still be exact.
    QList<VeskItem> items;
    for (int i = 0; i < 5000; ++i)
        items.append(add(QStringLiteral("note %1").arg(i), QStringLiteral("shared words %1").arg(i % 7)));
    const LexicalSnapshot snapshot = lexicalMatch(index, QStringLiteral("shared 3"));
    ASSERT_EQ(snapshot.rankedIDs.size(), 5000);
    for (int i = 0; i < items.size(); ++i) {
        const bool inTitle = QString::number(i).contains(QLatin1Char('3'));
        const bool inText = i % 7 == 3;
        const double expected = 5.5 + (inTitle ? 6.0 : 0.0) + (inText ? 3.5 : 0.0)
            + (inTitle || inText ? 2.0 : 0.0);
        ASSERT_DOUBLE_EQ(snapshot.scores.value(items[i].id), expected) << i;
    }
}

// The refresh ranks the pass's bare hits and asks the reasons of the few it shows: both must be
// what the snapshot gives, however the candidates are found; a cancelled pass finds nothing.
TEST_F(LexicalMatchTest, ThePassFindsWhatTheSnapshotScoresAndHints)
{
    for (int i = 0; i < 3000; ++i)
        add(QStringLiteral("note %1").arg(i), QStringLiteral("shared words %1").arg(i % 7));
    add(QStringLiteral("Beach day"), QString(), VeskKind::Image, {QStringLiteral("Big Sis")});
    add(QStringLiteral("Work plan"), QStringLiteral("plans #Work"), VeskKind::Text, {}, {QStringLiteral("work")});
    add(QStringLiteral("Caf\u00e9 sign"), QStringLiteral("menu"));
    const struct {
        const char* query;
        bool cancelled;
    } cases[] = {
        {"s", false},       // one letter: every item is read
        {"3", false},
        {"sis", false},     // a person's name
        {"#work", false},   // a tag
        {"caf\u00e9", false}, // an accented term matches only its exact form
        {"shared 3", false},
        {"s", true},
        {"shared", true},
    };
    for (const auto& c : cases) {
        const QString query = QString::fromUtf8(c.query);
        SCOPED_TRACE(query.toStdString() + (c.cancelled ? " cancelled" : ""));
        const CancellationToken token;
        if (c.cancelled)
            token.cancel();
        const LexicalHits found = lexicalHits(index, query, token);
        const LexicalSnapshot snapshot = lexicalMatch(index, query);
        if (c.cancelled) {
            EXPECT_TRUE(found.hits.empty());
            continue;
        }
        EXPECT_EQ(found.header.literalTerms, snapshot.literalTerms);
        QHash<QUuid, double> scores;
        std::vector<quint32> chosen;
        for (const LexicalHit& hit : found.hits) {
            scores.insert(index.idAt(hit.slot), hit.score);
            chosen.push_back(hit.slot);
        }
        EXPECT_EQ(scores, snapshot.scores);
        const QList<QString> reasons = lexicalReasons(index, query, chosen);
        QHash<QUuid, QString> hints;
        for (size_t i = 0; i < chosen.size(); ++i) {
            if (!reasons[qsizetype(i)].isNull())
                hints.insert(index.idAt(chosen[i]), reasons[qsizetype(i)]);
        }
        EXPECT_EQ(hints, snapshot.hints);
    }
}

} // namespace
} // namespace vesk
