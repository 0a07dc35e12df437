#include "common/TestEnvironment.h"
#include "platform/Log.h"
#include "search/MeaningPairs.h"
#include "search/SemanticEmbeddingEngine.h"
#include "search/SemanticVectors.h"
#include "search/WordNet.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>

namespace vesk {
namespace {

QList<double> embedNow(SemanticEmbeddingEngine& engine, const QString& text)
{
    return engine.embed(text).result().value_or(QList<double>());
}

// One engine for the whole executable: the dictionary is read once.
SemanticEmbeddingEngine& engine()
{
    static SemanticEmbeddingEngine instance;
    return instance;
}

TEST(EmbeddingText, WhiteSpaceFoldsAndTheTextIsCutAtTwelveThousandCharacters)
{
    EXPECT_EQ(preparedEmbeddingText(QStringLiteral(" \t roof\n\n  leak\r\n\u00a0 in\u2028the  attic \n")),
        QStringLiteral("roof leak in the attic"));
    EXPECT_EQ(preparedEmbeddingText(QStringLiteral(" \n\t ")), QString());

    const QString longText(12'001, QLatin1Char('a'));
    EXPECT_EQ(preparedEmbeddingText(longText), longText.left(12'000));
    // "e" with a combining accent is one character of two code units.
    QString accented;
    for (int i = 0; i < 12'001; ++i)
        accented += QStringLiteral("e\u0301");
    const QString cut = preparedEmbeddingText(accented);
    EXPECT_EQ(cut.size(), 24'000);
    EXPECT_EQ(cut, accented.left(24'000));
}

TEST(EmbeddingText, ItemFieldsAreJoinedInOrderKeepingEmptyOnes)
{
    VeskItem item;
    item.title = QStringLiteral("Title");
    item.searchableText = QStringLiteral("searchable");
    EXPECT_EQ(embeddingInputText(item), QStringLiteral("Title\n\n\nsearchable"));
    item.note = QStringLiteral("note");
    item.text = QStringLiteral("text");
    EXPECT_EQ(embeddingInputText(item), QStringLiteral("Title\nnote\ntext\nsearchable"));
    EXPECT_EQ(embeddingInputText(VeskItem()).count(QLatin1Char('\n')), 3);
}

TEST(CosineSimilarity, EdgeCases)
{
    const QList<double> a{1.0, 2.0, 3.0};
    EXPECT_EQ(cosineSimilarity(QList<double>(), QList<double>()), 0.0);
    EXPECT_EQ(cosineSimilarity(a, QList<double>{1.0, 2.0}), 0.0);
    EXPECT_EQ(cosineSimilarity(a, QList<double>{0.0, 0.0, 0.0}), 0.0);
    EXPECT_EQ(cosineSimilarity(QList<double>{0.0, 0.0, 0.0}, a), 0.0);
    EXPECT_NEAR(cosineSimilarity(a, a), 1.0, 1e-12);
    EXPECT_NEAR(cosineSimilarity(a, QList<double>{-1.0, -2.0, -3.0}), -1.0, 1e-12);
    EXPECT_NEAR(cosineSimilarity(QList<double>{1.0, 0.0}, QList<double>{1.0, 1.0}), std::sqrt(0.5), 1e-12);

}

// Kept values are the inserted ones to half precision, relative to the vector's largest value.
void expectKept(const QList<double>& kept, const QList<double>& inserted)
{
    ASSERT_EQ(kept.size(), inserted.size());
    double largest = 0;
    for (const double value : inserted)
        largest = std::max(largest, std::fabs(value));
    for (qsizetype i = 0; i < kept.size(); ++i)
        EXPECT_NEAR(kept[i], inserted[i], largest / 2048.0) << "value " << i;
}

TEST(SemanticVectors, KeepsReplacesAndRemovesVectorsOfAnyLength)
{
    SemanticVectors vectors;
    std::vector<QUuid> ids;
    for (int i = 0; i < 3000; ++i) {
        ids.push_back(QUuid::createUuid());
        vectors.insert(ids.back(), QList<double>{double(i), 1.0, 2.0});
    }
    vectors.insert(ids[0], QList<double>{5.0, 6.0});                   // another length
    vectors.insert(ids[1], QList<double>{7.0, 8.0, 9.0});              // same length, in place
    expectKept(vectors.values(ids[0]), {5.0, 6.0});
    expectKept(vectors.values(ids[1]), {7.0, 8.0, 9.0});
    EXPECT_NEAR(vectors.rowSumOfSquares(*vectors.slotOf(ids[1])), 49.0 + 64.0 + 81.0, 0.2);

    // Removing most of them compacts the block; the rest keep their values.
    for (int i = 2; i < 2900; ++i)
        EXPECT_TRUE(vectors.remove(ids[size_t(i)]));
    EXPECT_FALSE(vectors.remove(ids[2]));
    EXPECT_EQ(vectors.size(), 102);
    EXPECT_TRUE(vectors.values(ids[2]).isEmpty());
    expectKept(vectors.values(ids[2950]), {2950.0, 1.0, 2.0});
    expectKept(vectors.values(ids[0]), {5.0, 6.0});
    const QUuid fresh = QUuid::createUuid();
    vectors.insert(fresh, QList<double>{3.0});
    EXPECT_EQ(vectors.values(fresh), QList<double>{3.0});
    EXPECT_EQ(vectors.size(), 103);
}

// Vectors beyond what was reserved go into further blocks; none of those kept changes, and
// removing most of them compacts what is left.
TEST(SemanticVectors, GrowsPastItsReserveAndCompactsAcrossBlocks)
{
    const auto vectorOf = [](int i) {
        QList<double> vector(512, 0.0);
        vector[i % 512] = 1.0;
        vector[(i * 7 + 1) % 512] -= 0.5;
        return vector;
    };
    SemanticVectors vectors;
    vectors.reserve(10, 10 * 512);
    std::vector<QUuid> ids;
    for (int i = 0; i < 5000; ++i) {
        ids.push_back(QUuid::createUuid());
        vectors.insert(ids.back(), vectorOf(i));
    }
    for (const int i : {0, 9, 10, 2047, 2048, 2057, 4999})
        expectKept(vectors.values(ids[size_t(i)]), vectorOf(i));
    const auto cosineOf = [&](int a, int b) { return *vectors.cosine(ids[size_t(a)], ids[size_t(b)]); };
    EXPECT_NEAR(cosineOf(9, 4999), cosineSimilarity(vectorOf(9), vectorOf(4999)), 1e-3);
    const size_t grown = vectors.memoryBytes();

    for (int i = 0; i < 4000; ++i)
        ASSERT_TRUE(vectors.remove(ids[size_t(i)]));
    EXPECT_EQ(vectors.size(), 1000);
    EXPECT_LT(vectors.memoryBytes(), grown / 2);
    for (const int i : {4000, 4500, 4999})
        expectKept(vectors.values(ids[size_t(i)]), vectorOf(i));
    vectors.insert(ids[0], vectorOf(0));
    expectKept(vectors.values(ids[0]), vectorOf(0));
    EXPECT_NEAR(cosineOf(0, 4999), cosineSimilarity(vectorOf(0), vectorOf(4999)), 1e-3);
}

TEST(SemanticVectors, HalfPrecisionKeepsCosinesAndAnyRangeOfValues)
{
    std::mt19937 random(7);
    std::normal_distribution<double> normal;
    SemanticVectors vectors;
    std::vector<QList<double>> inserted;
    std::vector<QUuid> ids;
    for (int i = 0; i < 40; ++i) {
        QList<double> vector(512);
        for (double& value : vector)
            value = normal(random) / std::sqrt(512.0);
        // Two near copies, as related notes give.
        if (i % 2 == 1) {
            vector = inserted.back();
            for (double& value : vector)
                value += normal(random) * 0.01;
        }
        inserted.push_back(vector);
        ids.push_back(QUuid::createUuid());
        vectors.insert(ids.back(), vector);
    }
    for (size_t a = 0; a < ids.size(); ++a) {
        const QList<double>& query = inserted[a];
        for (size_t b = 0; b < ids.size(); ++b) {
            const double exact = cosineSimilarity(query, inserted[b]);
            const auto kept = vectors.cosine(ids[a], ids[b]);
            ASSERT_TRUE(kept);
            EXPECT_NEAR(*kept, exact, 1e-3);
            const SemanticVectors::Slot slot = *vectors.slotOf(ids[b]);
            const double againstQuery = vectors.rowDot(std::span<const double>(query.constData(), 512), slot)
                / std::sqrt(sumOfSquares(query) * vectors.rowSumOfSquares(slot));
            EXPECT_NEAR(againstQuery, exact, 1e-3);
        }
    }

    // Values far beyond what half precision holds, and tiny ones, keep their proportions.
    const QUuid large = QUuid::createUuid();
    const QUuid tiny = QUuid::createUuid();
    vectors.insert(large, QList<double>{1e6, -3e5, 2e6});
    vectors.insert(tiny, QList<double>{1e-9, -3e-10, 2e-9});
    expectKept(vectors.values(large), {1e6, -3e5, 2e6});
    expectKept(vectors.values(tiny), {1e-9, -3e-10, 2e-9});
    EXPECT_NEAR(*vectors.cosine(large, tiny), 1.0, 1e-6);

    // All zeros compares as 0; another length or a missing vector does not compare.
    const QUuid zeros = QUuid::createUuid();
    vectors.insert(zeros, QList<double>{0.0, 0.0, 0.0});
    EXPECT_EQ(vectors.cosine(zeros, large), 0.0);
    EXPECT_FALSE(vectors.cosine(ids[0], large));
    EXPECT_FALSE(vectors.cosine(ids[0], QUuid::createUuid()));

    // A copy into another set keeps the very same values, not rounded a second time.
    SemanticVectors copy;
    copy.insertFrom(vectors, ids[3]);
    copy.insertFrom(vectors, QUuid::createUuid()); // none: nothing kept
    EXPECT_EQ(copy.size(), 1);
    EXPECT_EQ(copy.values(ids[3]), vectors.values(ids[3]));
    EXPECT_EQ(copy.rowSumOfSquares(*copy.slotOf(ids[3])), vectors.rowSumOfSquares(*vectors.slotOf(ids[3])));
}

TEST(WordNet, BaseFormsComeFromExceptionsAndDetachmentRules)
{
    const auto loaded = WordNet::load(SemanticEmbeddingEngine::defaultDictionaryFolder());
    ASSERT_TRUE(loaded) << qPrintable(loaded.error());
    const WordNet& wordNet = **loaded;
    const auto forms = [&](const char* word, WordNetPos pos) {
        std::array<std::string_view, 4> out;
        const int count = wordNet.baseForms(word, pos, out);
        QStringList result;
        for (int i = 0; i < count; ++i)
            result.append(QString::fromUtf8(out[size_t(i)].data(), qsizetype(out[size_t(i)].size())));
        return result;
    };
    EXPECT_EQ(forms("mice", WordNetPos::Noun), QStringList{"mouse"});
    EXPECT_EQ(forms("churches", WordNetPos::Noun), QStringList{"church"});
    EXPECT_TRUE(forms("running", WordNetPos::Verb).contains(QStringLiteral("run")));
    EXPECT_EQ(forms("went", WordNetPos::Verb), QStringList{"go"});
    EXPECT_EQ(forms("better", WordNetPos::Adjective).first(), QStringLiteral("good"));
    EXPECT_EQ(forms("ice_creams", WordNetPos::Noun), QStringList{"ice_cream"});
    EXPECT_TRUE(forms("qwzx", WordNetPos::Noun).isEmpty());
    EXPECT_TRUE(wordNet.beginsCollocation("ice"));

    // The most frequent sense comes first and carries its tagged count.
    const auto senses = wordNet.senses("dog", WordNetPos::Noun);
    ASSERT_GE(senses.size(), 2u);
    EXPECT_GT(senses[0].tagCount, senses[1].tagCount);
    EXPECT_NE(std::string(wordNet.definition(senses[0].synset)).find("domesticated"), std::string::npos);
    // Generic concepts count little, specific ones fully.
    const auto entity = wordNet.senses("entity", WordNetPos::Noun);
    ASSERT_FALSE(entity.empty());
    EXPECT_LT(wordNet.specificity(entity[0].synset), 0.05f);
    EXPECT_GT(wordNet.specificity(senses[0].synset), 0.5f);
    EXPECT_FALSE(wordNet.broader(senses[0].synset).empty());
    EXPECT_LT(wordNet.informativeness("the"), wordNet.informativeness("plumber"));
}

TEST(WordNet, AMissingOrDamagedDictionaryIsAnError)
{
    EXPECT_FALSE(WordNet::load(test::makeTempDirectory(QStringLiteral("no-wordnet"))));
    const QString folder = test::makeTempDirectory(QStringLiteral("bad-wordnet"));
    for (const char* name : {"data.noun", "data.verb", "data.adj", "data.adv"}) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("00001740 03 n 01 entity 0 001 @ 99999999 n 0000 | that which exists\n");
    }
    const auto loaded = WordNet::load(folder);
    ASSERT_FALSE(loaded);
}

TEST(SemanticEmbeddingEngine, VectorsAreUnitLengthDeterministicAndBlindToSpacing)
{
    const QList<double> first = embedNow(engine(), QStringLiteral("Pay the electricity bill"));
    ASSERT_EQ(first.size(), 512);
    double squares = 0.0;
    for (const double value : first)
        squares += value * value;
    EXPECT_NEAR(squares, 1.0, 1e-5);
    EXPECT_EQ(embedNow(engine(), QStringLiteral("  Pay\tthe \n electricity   bill ")), first);
    // A fresh engine gives the very same vector.
    SemanticEmbeddingEngine other;
    EXPECT_EQ(embedNow(other, QStringLiteral("Pay the electricity bill")), first);

    EXPECT_FALSE(engine().embed(QStringLiteral(" \n ")).result());
    // Only little words, digits or symbols still give a vector.
    EXPECT_EQ(embedNow(engine(), QStringLiteral("to be or not to be")).size(), 512);
    EXPECT_EQ(embedNow(engine(), QStringLiteral("2024")).size(), 512);
    EXPECT_EQ(embedNow(engine(), QStringLiteral("🙂")).size(), 512);
    // Markers kept in searchable text say nothing about meaning.
    EXPECT_EQ(embedNow(engine(), QStringLiteral("roof leak __vesk_secure__")),
        embedNow(engine(), QStringLiteral("roof leak")));
}

// The engine's caches only save work: after they are let go, texts and searches come out as
// before, whether their words were kept (used twice) or not.
TEST(SemanticEmbeddingEngine, ReleasedCachesLeaveVectorsAsTheyWere)
{
    const QStringList texts{QStringLiteral("Pay the electricity bill before the ice cream shop closes"),
        QStringLiteral("Dentist appointment moved to Thursday"), QStringLiteral("electricity")};
    SemanticEmbeddingEngine used;
    std::vector<QList<double>> before;
    for (const QString& text : texts) {
        embedNow(used, text);
        before.push_back(embedNow(used, text));
        before.push_back(used.embedQuery(text).result().value_or(QList<double>()));
    }
    used.releaseCaches();
    size_t i = 0;
    for (const QString& text : texts) {
        EXPECT_EQ(embedNow(used, text), before[i++]) << qPrintable(text);
        EXPECT_EQ(used.embedQuery(text).result().value_or(QList<double>()), before[i++]) << qPrintable(text);
    }
}

TEST(SemanticEmbeddingEngine, WithoutItsDictionaryEveryTextGivesNothingAndOneLogLine)
{
    QStringList lines;
    setVeskLogCapture([&](const QString& line) { lines.append(line); });
    {
        SemanticEmbeddingEngine missing(test::makeTempDirectory(QStringLiteral("empty-dictionary")));
        EXPECT_FALSE(missing.embed(QStringLiteral("roof leak")).result());
        EXPECT_FALSE(missing.embed(QStringLiteral("railway schedule")).result());
    }
    setVeskLogCapture({});
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Vesk embedding model load error: ")));
}

// Texts that mean the same thing in other words come out close; texts about different things
// do not, although they may share a word now and then. The same holds for a search, which reaches
// further than an item: typed as a search, a text comes as close as the band's floor to no more
// unrelated items than an item does.
TEST(SemanticEmbeddingEngine, LabelledPairsMeetTheSearchBands)
{
    struct Text {
        const char* topic;
        QList<double> vector;
        QString text;
        QList<double> query;
    };
    std::vector<Text> texts;
    int related = 0;
    int relatedAbove = 0;
    for (const test::MeaningPair& pair : test::meaningPairs) {
        const QList<double> first = embedNow(engine(), QString::fromUtf8(pair.first));
        const QList<double> second = embedNow(engine(), QString::fromUtf8(pair.second));
        ++related;
        if (cosineSimilarity(first, second) >= 0.24)
            ++relatedAbove;
        for (const char* text : {pair.first, pair.second}) {
            texts.push_back({pair.topic, text == pair.first ? first : second, QString::fromUtf8(text),
                engine().embedQuery(QString::fromUtf8(text)).result().value_or(QList<double>())});
        }
    }
    int unrelated = 0;
    int unrelatedAbove = 0;
    int searchesAbove = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t j = i + 1; j < texts.size(); ++j) {
            if (std::strcmp(texts[i].topic, texts[j].topic) == 0)
                continue;
            ++unrelated;
            if (cosineSimilarity(texts[i].vector, texts[j].vector) >= 0.24)
                ++unrelatedAbove;
            searchesAbove += cosineSimilarity(texts[i].query, texts[j].vector) >= 0.24;
            searchesAbove += cosineSimilarity(texts[j].query, texts[i].vector) >= 0.24;
        }
    }
    ASSERT_GE(related, 40);
    ASSERT_GE(unrelated, 40);
    EXPECT_GE(relatedAbove * 2, related) << relatedAbove << " of " << related << " related pairs";
    EXPECT_LE(unrelatedAbove * 100, unrelated) << unrelatedAbove << " of " << unrelated << " unrelated pairs";
    EXPECT_LE(searchesAbove * 100, unrelated * 2) << searchesAbove << " of " << unrelated * 2 << " searches";
    std::printf("[ figures  ] related pairs at 0.24 or more: %d of %d; unrelated: %d of %d; searches for an "
                "unrelated item: %d of %d\n",
        relatedAbove, related, unrelatedAbove, unrelated, searchesAbove, unrelated * 2);
}

} // namespace
} // namespace vesk
