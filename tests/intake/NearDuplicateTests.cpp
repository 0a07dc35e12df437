#include "intake/NearDuplicate.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace vesk
