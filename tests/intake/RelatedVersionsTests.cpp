#include "intake/VersionKey.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem fileItem(const QString& name, qint64 createdSecs = 1'600'000'000)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = name;
    item.kind = VeskKind::File;
    item.createdAt = QDateTime::fromSecsSinceEpoch(createdSecs, Qt::UTC);
    item.filePath = QStringLiteral("/library/Items/") + item.id.toString(QUuid::WithoutBraces) + QLatin1Char('/') + name;
    return item;
}

QStringList titles(const QList<VeskItem>& items)
{
    QStringList out;
    for (const VeskItem& item : items)
        out.append(item.title);
    return out;
}

TEST(VersionFamilyTokens, VersionWordsAndSeparatorsFallAwayAndSingleLettersAreDropped)
{
    EXPECT_EQ(versionFamilyTokens(QStringLiteral("/x/Report final v2 (3).pdf")), QSet<QString>{"report"});
    EXPECT_EQ(versionFamilyTokens(QStringLiteral("Q3_budget-draft.v4.xlsx")), (QSet<QString>{"q3", "budget"}));
    EXPECT_EQ(versionFamilyTokens(QStringLiteral("This is the one - a plan R 12.key")), QSet<QString>{"plan"});
    // "Finalists" is a word of its own, not the version word "final".
    EXPECT_EQ(versionFamilyTokens(QStringLiteral("Finalists.txt")), QSet<QString>{"finalists"});
    EXPECT_TRUE(versionFamilyTokens(QStringLiteral("V7 final.pdf")).isEmpty());
}

TEST(PositionalSimilarity, CommonPrefixOverTheShorterText)
{
    EXPECT_DOUBLE_EQ(positionalSimilarity(QStringLiteral("report2024"), QStringLiteral("report2023")), 0.9);
    EXPECT_DOUBLE_EQ(positionalSimilarity(QStringLiteral("abc"), QStringLiteral("xbc")), 0.0);
    EXPECT_DOUBLE_EQ(positionalSimilarity(QString(), QStringLiteral("abc")), 0.0);
    EXPECT_DOUBLE_EQ(positionalSimilarity(QStringLiteral("abc"), QStringLiteral("abcdef")), 1.0);
    EXPECT_DOUBLE_EQ(positionalSimilarity(QStringLiteral("plan"), QStringLiteral("plan")), 1.0);
    // Counted in user-perceived characters: "é" written as e and a combining accent is one.
    EXPECT_DOUBLE_EQ(positionalSimilarity(QStringLiteral("cafe\u0301s"), QStringLiteral("cafe\u0301x")), 0.8);
}

TEST(RelatedVersions, TheSameNameWithoutVersionWordsAndTheSameExtension)
{
    const VeskItem final = fileItem(QStringLiteral("Report final.pdf"));
    const VeskItem v2 = fileItem(QStringLiteral("report_v2.pdf"));
    const VeskItem docx = fileItem(QStringLiteral("Report final.docx"));
    const VeskItem upper = fileItem(QStringLiteral("REPORT (2).PDF"));
    const QList<VeskItem> library{final, v2, docx, upper};

    EXPECT_EQ(titles(relatedVersionsIn(final, library, 6)), (QStringList{"report_v2.pdf", "REPORT (2).PDF"}));
    EXPECT_EQ(titles(relatedVersionsIn(docx, library, 6)), QStringList());
    EXPECT_TRUE(relatedVersionsIn(final, library, 0).isEmpty());

    VeskItem noFile = final;
    noFile.filePath.reset();
    EXPECT_TRUE(relatedVersionsIn(noFile, library, 6).isEmpty());
    const VeskItem noExtension = fileItem(QStringLiteral("Report"));
    EXPECT_TRUE(relatedVersionsIn(noExtension, {noExtension, fileItem(QStringLiteral("Report v2"))}, 6).isEmpty());
}

TEST(RelatedVersions, OtherwiseCloseFamilyTokensCountWithTheBarAt078)
{
    const VeskItem shown = fileItem(QStringLiteral("alpha beta gamma.txt"));
    // 3 of 4 tokens, all of the smaller set, names agreeing throughout: 0.39 + 0.33 + 0.15.
    const VeskItem close = fileItem(QStringLiteral("alpha beta gamma delta.txt"));
    // 3 of 5: 0.312 + 0.33 + 0.15 = 0.792.
    const VeskItem wider = fileItem(QStringLiteral("alpha beta gamma delta epsilon.txt"));
    // 2 of 4 tokens and names apart after "alphabeta": about 0.58.
    const VeskItem apart = fileItem(QStringLiteral("alpha beta zeta.txt"));
    // Only a version word apart: the compact names agree, 1.0.
    const VeskItem same = fileItem(QStringLiteral("alpha_beta_gamma copy.txt"));
    EXPECT_EQ(titles(relatedVersionsIn(shown, {shown, wider, apart, close, same}, 6)),
        (QStringList{"alpha_beta_gamma copy.txt", "alpha beta gamma delta.txt", "alpha beta gamma delta epsilon.txt"}));

    // Names whose compact forms are empty (no a-z or 0-9 in them) meet by their tokens alone.
    const VeskItem diary = fileItem(QStringLiteral("日記.pdf"));
    const VeskItem diaryFinal = fileItem(QStringLiteral("日記 final.pdf"));
    const VeskItem photos = fileItem(QStringLiteral("写真.pdf"));
    EXPECT_EQ(titles(relatedVersionsIn(diary, {diary, photos, diaryFinal}, 6)), QStringList{"日記 final.pdf"});
    // Years make different documents, not versions: 0.26 + 0.22 + 0.9 × 0.15 stays below the bar.
    EXPECT_TRUE(relatedVersionsIn(fileItem(QStringLiteral("trip budget report2024.pdf")),
        {fileItem(QStringLiteral("trip budget report2023.pdf"))}, 6).isEmpty());
}

TEST(RelatedVersions, EqualScoresGoNewestFirstAndTheLimitCuts)
{
    const VeskItem shown = fileItem(QStringLiteral("Plan.key"), 1'000);
    QList<VeskItem> library{shown};
    for (int i = 1; i <= 7; ++i)
        library.append(fileItem(QStringLiteral("Plan v%1.key").arg(i), 1'000 + (i % 2 ? i : 20 - i)));
    const QList<VeskItem> shownVersions = relatedVersionsIn(shown, library, 6);
    ASSERT_EQ(shownVersions.size(), 6);
    for (qsizetype i = 1; i < shownVersions.size(); ++i)
        EXPECT_GT(shownVersions[i - 1].createdAt, shownVersions[i].createdAt);
    // The oldest of the seven is the one left out.
    EXPECT_FALSE(titles(shownVersions).contains(QStringLiteral("Plan v1.key")));
}

} // namespace
} // namespace vesk
