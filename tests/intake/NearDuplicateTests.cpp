#include "intake/NearDuplicate.h"

#include <gtest/gtest.h>

#include <QHash>
#include <algorithm>

namespace vesk {
namespace {

VeskItem textItem(const QString& text, const QString& title = QStringLiteral("note"))
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Text;
    item.title = title;
    item.text = text;
    item.searchableText = text;
    return item;
}

const QString kNote = QStringLiteral(
    "Remember to water the tomato plants every morning before leaving for work, and check the "
    "greenhouse thermometer twice daily during the heatwave.");

TEST(NearDuplicate, NormalisationFoldsCaseAccentsWidthAddressesAndPunctuation)
{
    EXPECT_EQ(normalizedForNearDuplicate(QStringLiteral("  Café, ＡＢＣ!! see https://x.org/a?b=1 #tag\n\tnow ")),
              QStringLiteral("cafe abc see #tag now"));
    EXPECT_EQ(keywordSet(QStringLiteral("the cat and the dog ran to it cat")),
              (QSet<QString>{QStringLiteral("cat"), QStringLiteral("dog"), QStringLiteral("ran")}));
    EXPECT_DOUBLE_EQ(prefixSimilarity(QStringLiteral("abcd"), QStringLiteral("abXdzz")), 0.75);
    EXPECT_DOUBLE_EQ(prefixSimilarity(QString(), QStringLiteral("abc")), 0.0);
}

TEST(NearDuplicate, SameTextUpToFormattingMatchesAtOnce)
{
    const VeskItem older = textItem(kNote);
    QString variant = kNote.toUpper();
    variant.replace(QStringLiteral("greenhouse"), QStringLiteral("gréénhouse  https://example.com/x"));
    variant.replace(QLatin1Char(','), QLatin1String(" ;; "));
    EXPECT_EQ(findSimilarTextIn({older}, variant), older);
}

TEST(NearDuplicate, ShortTextsAndTextsOfStopWordsAreNeverFamiliar)
{
    const QString shortText = QStringLiteral("Buy milk, eggs, bread and some coffee beans");
    ASSERT_LT(normalizedForNearDuplicate(shortText).size(), 48);
    EXPECT_EQ(findSimilarTextIn({textItem(shortText)}, shortText), std::nullopt);

    const QString stopWords = QStringLiteral(
        "the and for that with this from have your you are was were but not into its our out can "
        "will to of in on at by we us me my");
    EXPECT_EQ(findSimilarTextIn({textItem(stopWords + QStringLiteral(" extra"))}, stopWords), std::nullopt);
}

TEST(NearDuplicate, OnlyPlainTextItemsAreCandidates)
{
    VeskItem link = textItem(kNote);
    link.kind = VeskKind::Url;
    VeskItem file = textItem(kNote);
    file.kind = VeskKind::File;
    VeskItem password = textItem(kNote);
    password.searchableText = kNote + QStringLiteral(" __vesk_secure__");
    VeskItem card = textItem(kNote);
    card.searchableText = QStringLiteral("__vesk_secure_credit_card__");
    VeskItem empty = textItem(QStringLiteral("   "));
    empty.text = std::nullopt;
    EXPECT_EQ(findSimilarTextIn({link, file, password, card, empty}, kNote), std::nullopt);
}

TEST(NearDuplicate, ScoreRuleAndContainmentRule)
{
    // One word swapped in a long note: high Jaccard and containment, same beginning.
    QString edited = kNote;
    edited.replace(QStringLiteral("thermometer"), QStringLiteral("hygrometer"));
    const VeskItem older = textItem(kNote);
    EXPECT_EQ(findSimilarTextIn({older}, edited), older);

    // All keywords of the new text occur in a much longer note (containment 1, Jaccard low):
    // only the score rule can accept it, and the beginnings here differ.
    const QString longer = QStringLiteral(
        "Weekly garden log with many unrelated entries about compost, fences, ladders, seedlings, "
        "pruning shears, rainwater barrels, mulch deliveries, neighbour visits, birdhouses and ") + kNote;
    EXPECT_EQ(findSimilarTextIn({textItem(longer)}, kNote), std::nullopt);

    // Unrelated long texts never match.
    const QString other = QStringLiteral(
        "Quarterly budget review covers marketing spend, hiring plans, server costs, travel "
        "allowances and the renewal of office leases across three regional branches.");
    EXPECT_EQ(findSimilarTextIn({textItem(other)}, kNote), std::nullopt);
}

TEST(NearDuplicate, BestScoreWinsAndTheEarlierItemKeepsATie)
{
    QString close = kNote;
    close.replace(QStringLiteral("tomato"), QStringLiteral("potato"));
    // The same keywords, with a stop word changed: qualifies with a slightly lower score.
    QString farther = close;
    farther.replace(QStringLiteral("check the"), QStringLiteral("check our"));
    const VeskItem newer = textItem(close, QStringLiteral("newer"));
    const VeskItem same = textItem(close, QStringLiteral("same score, later"));
    const VeskItem worse = textItem(farther, QStringLiteral("worse"));
    QString query = kNote;
    query.replace(QStringLiteral("morning"), QStringLiteral("evening"));

    ASSERT_EQ(findSimilarTextIn({worse}, query), worse);
    EXPECT_EQ(findSimilarTextIn({worse, newer, same}, query), newer);
}

// Matches found away from the list, in any order, are decided as the walk over the list decides:
// the first exact match, else the best score with the earlier item keeping a tie; an item no
// longer in the list is passed over.
TEST(NearDuplicate, MatchesFoundInAnyOrderAreDecidedByTheList)
{
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid();
    const QHash<QUuid, qsizetype> positions{{a, 0}, {b, 1}, {c, 2}};
    const auto position = [&](const QUuid& id) { return positions.value(id, -1); };
    const QUuid gone = QUuid::createUuid();
    const struct {
        const char* name;
        QList<NearDuplicateMatch> matches;
        std::optional<QUuid> named;
    } cases[] = {
        {"none", {}, std::nullopt},
        {"the best score", {{b, false, 0.85}, {a, false, 0.9}, {c, false, 0.95}}, c},
        {"a tie keeps the earlier item", {{c, false, 0.9}, {b, false, 0.9}}, b},
        {"an exact match over a better score", {{a, false, 0.99}, {c, true, 0.0}}, c},
        {"the earlier of two exact matches", {{c, true, 0.0}, {b, true, 0.0}}, b},
        {"a gone item is passed over", {{gone, true, 0.0}, {c, false, 0.83}}, c},
        {"only gone items", {{gone, false, 0.9}}, std::nullopt},
    };
    for (const auto& test : cases)
        EXPECT_EQ(chooseNearDuplicate(test.matches, position), test.named) << test.name;
}

} // namespace
} // namespace vesk

namespace vesk {
namespace {

// Distinct keywords "<stem>a", "<stem>b", ...: none is a stop word and none is shorter than three
// characters, so each text's keyword count is exactly the number of words given.
QStringList words(const QString& stem, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(stem + QChar(u'a' + i / 26) + QChar(u'a' + i % 26));
    return list;
}

TEST(NearDuplicate, ContainmentRuleAcceptsFromItsThresholdsOn)
{
    // Candidates open with words of their own, so their beginnings differ and only the
    // containment rule can accept them.
    const QStringList shared = words(QStringLiteral("share"), 25);
    const QString query = shared.join(' ');
    auto candidate = [&](int keep, int extra) {
        return textItem(words(QStringLiteral("otherlonger"), extra).join(' ') + ' '
                        + shared.mid(0, keep).join(' '));
    };
    auto prefixOf = [&](const VeskItem& item) {
        const QString q = normalizedForNearDuplicate(query);
        const QString c = normalizedForNearDuplicate(item.text->toString());
        const qsizetype n = std::min({q.size(), c.size(), qsizetype(320)});
        return prefixSimilarity(q.left(n), c.left(n));
    };

    // Containment 23/25 = 0.92 with Jaccard 23/27: accepted; 22/25 = 0.88: refused.
    const VeskItem atContainment = candidate(23, 2);
    ASSERT_LT(prefixOf(atContainment), 0.4);
    EXPECT_EQ(findSimilarTextIn({atContainment}, query), atContainment);
    EXPECT_EQ(findSimilarTextIn({candidate(22, 3)}, query), std::nullopt);

    // All 17 keywords of a shorter query inside a candidate of 25 (Jaccard 0.68): accepted; inside
    // one of 26 (Jaccard 0.654): refused.
    const QString shortQuery = shared.mid(0, 17).join(' ');
    const VeskItem atJaccard = textItem(words(QStringLiteral("otherlonger"), 8).join(' ') + ' ' + shortQuery);
    EXPECT_EQ(findSimilarTextIn({atJaccard}, shortQuery), atJaccard);
    const VeskItem belowJaccard = textItem(words(QStringLiteral("otherlonger"), 9).join(' ') + ' ' + shortQuery);
    EXPECT_EQ(findSimilarTextIn({belowJaccard}, shortQuery), std::nullopt);
}

TEST(NearDuplicate, ScoreRuleAcceptsALongerNoteWithTheSameBeginningUpToItsThreshold)
{
    // The older note starts with the whole query (prefix similarity 1, containment 1) and goes on
    // with k more keywords: score 0.5 + 10 / (20 + k), Jaccard 20 / (20 + k). At k = 11 only the
    // score rule accepts (0.8226); at k = 12 nothing does (0.8125).
    const QString query = words(QStringLiteral("base"), 20).join(' ');
    const VeskItem eleven = textItem(query + ' ' + words(QStringLiteral("tail"), 11).join(' '));
    const VeskItem twelve = textItem(query + ' ' + words(QStringLiteral("tail"), 12).join(' '));
    EXPECT_EQ(findSimilarTextIn({eleven}, query), eleven);
    EXPECT_EQ(findSimilarTextIn({twelve}, query), std::nullopt);
}

} // namespace
} // namespace vesk
