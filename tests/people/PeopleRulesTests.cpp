// The People window's merge offer, rename collision and wording, without a window.
#include "people/PeopleRules.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

VeskPersonPoolSummary person(const char* name, int faces, int items = 1)
{
    return {QUuid::createUuid(), QString::fromUtf8(name), faces, items, QUuid::createUuid()};
}

} // namespace

TEST(MergeOffer, OnlyTheSmallerOfSameNamePoolsOffersAMergeIntoTheLargest)
{
    const VeskPersonPoolSummary big = person("Ana", 5);
    const VeskPersonPoolSummary small = person("ana", 2);
    const VeskPersonPoolSummary other = person("Bo", 9);
    const QList<VeskPersonPoolSummary> all = {big, small, other};
    EXPECT_TRUE(offersMerge(small, all));
    EXPECT_EQ(mergeTarget(small, all)->id, big.id);
    EXPECT_FALSE(offersMerge(big, all));
    EXPECT_FALSE(offersMerge(other, all));
    EXPECT_FALSE(mergeTarget(other, all));

    // Equal face counts: neither offers one.
    const VeskPersonPoolSummary a = person("José", 3);
    const VeskPersonPoolSummary b = person("Jose", 3);
    EXPECT_FALSE(offersMerge(a, {a, b}));
    EXPECT_FALSE(offersMerge(b, {a, b}));
    EXPECT_EQ(mergeTarget(a, {a, b})->id, b.id);

    // The target is the other pool with the most faces, then the most items; the first on a tie.
    const VeskPersonPoolSummary tiny = person("ANA", 1);
    const VeskPersonPoolSummary wide = person("Ana", 5, 4);
    const VeskPersonPoolSummary twin = person("ana ", 5, 4);
    EXPECT_EQ(mergeTarget(tiny, {tiny, big, wide, twin})->id, wide.id);
    EXPECT_EQ(mergeTarget(tiny, {tiny, twin, wide})->id, twin.id);
    EXPECT_TRUE(offersMerge(tiny, {tiny, big, wide, twin}));
}

TEST(RenameCollision, ANameHeldByAnotherPoolIsAMergeAndTheOwnNameIsNot)
{
    const VeskPersonPoolSummary ana = person("Ana", 5);
    const VeskPersonPoolSummary bo = person("Bo", 2);
    const QList<VeskPersonPoolSummary> all = {ana, bo};
    EXPECT_EQ(renameCollision(bo.id, QStringLiteral(" ana "), all)->id, ana.id);
    EXPECT_EQ(renameCollision(bo.id, QStringLiteral("ÁNA"), all)->id, ana.id);
    EXPECT_FALSE(renameCollision(ana.id, QStringLiteral("ANA"), all)); // a change of case
    EXPECT_FALSE(renameCollision(bo.id, QStringLiteral("Anna"), all));
    EXPECT_FALSE(renameCollision(bo.id, QStringLiteral("   "), all));
    EXPECT_FALSE(isSubmittableName(QStringLiteral(" \n\t")));
    EXPECT_TRUE(isSubmittableName(QStringLiteral(" a ")));
}

TEST(PeopleWording, CountsSimilarityAndHelp)
{
    EXPECT_EQ(personCountLine(1, 3), QStringLiteral("1 confirmed face across 3 Vesks"));
    EXPECT_EQ(personCountLine(2, 1), QStringLiteral("2 confirmed faces across 1 Vesk"));
    EXPECT_EQ(similarityText(0.8), QStringLiteral("Similarity 0.800"));
    EXPECT_EQ(similarityText(0.72049), QStringLiteral("Similarity 0.720"));
    EXPECT_EQ(confirmAllHelp(12, QStringLiteral("Ana")), QStringLiteral("Confirm all 12 visible suggestions as Ana"));
    EXPECT_EQ(mergeHelp(QStringLiteral("ana"), QStringLiteral("Ana")),
              QStringLiteral("Combine this ana pool with the larger confirmed Ana pool"));
}
