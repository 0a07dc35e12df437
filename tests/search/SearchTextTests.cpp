#include "search/SearchText.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(Hashtags, FindsTagsOnlyAfterANonWordCharacter)
{
    EXPECT_EQ(extractHashtags(QStringLiteral("Trip #Paris-2024")), QStringList{"paris-2024"});
    EXPECT_TRUE(extractHashtags(QStringLiteral("a#b")).isEmpty());
    EXPECT_TRUE(extractHashtags(QStringLiteral("#_x")).isEmpty());
    EXPECT_EQ(extractHashtags(QStringLiteral("https://x.org/notes/#ideas")), QStringList{"ideas"});
    EXPECT_TRUE(extractHashtags(QStringLiteral("page#section")).isEmpty());
    // Lower-cased, each once, sorted.
    EXPECT_EQ(extractHashtags(QStringLiteral("#Zeta #alpha #ALPHA (#Été)")),
        (QStringList{"alpha", "zeta", QStringLiteral("été")}));
}

TEST(ContentTokens, DropStopWordsShortPiecesAndNumbers)
{
    EXPECT_EQ(extractTokens(QStringLiteral("The 2024 Budget, budget-q7!")), QSet<QString>{"budget"});
    EXPECT_EQ(extractTokens(QStringLiteral("3d4 model_files über")),
        (QSet<QString>{"3d4", "model", QStringLiteral("über")}));
    EXPECT_TRUE(extractTokens(QString()).isEmpty());
}

TEST(DeriveTitle, TakesTheFirstNonBlankLineAndCutsLongOnes)
{
    EXPECT_EQ(deriveTitle(QStringLiteral("\n   \r\n\t\n  Shopping list  \nmilk")),
        QStringLiteral("Shopping list"));
    EXPECT_EQ(deriveTitle(QString()), QStringLiteral("Untitled Vesk"));
    EXPECT_EQ(deriveTitle(QStringLiteral(" \n\u2028 ")), QStringLiteral("Untitled Vesk"));
    EXPECT_EQ(deriveTitle(QStringLiteral("first\u2029second")), QStringLiteral("first"));

    const QString line(100, QLatin1Char('x'));
    const QString title = deriveTitle(line + QStringLiteral("\nrest"));
    EXPECT_EQ(title, QString(72, QLatin1Char('x')) + QChar(0x2026));
    EXPECT_EQ(deriveTitle(QString(72, QLatin1Char('y'))), QString(72, QLatin1Char('y')));
    // A character made of several code points is never cut apart.
    const QString accented = QString(71, QLatin1Char('a')) + QStringLiteral("e\u0301zz");
    EXPECT_EQ(deriveTitle(accented), QString(71, QLatin1Char('a')) + QStringLiteral("e\u0301") + QChar(0x2026));
}

TEST(NormalizedTag, TrimsHashesAndKeepsOnlyTagCharacters)
{
    EXPECT_EQ(normalizedTag(QStringLiteral("  #Work Trip ")), QStringLiteral("worktrip"));
    EXPECT_EQ(normalizedTag(QStringLiteral("###")), QString());
    EXPECT_EQ(normalizedTag(QStringLiteral("!?.")), QString());
    EXPECT_EQ(normalizedTag(QStringLiteral("Ünïcode-Tag_2")), QStringLiteral("ünïcode-tag_2"));
    EXPECT_EQ(normalizedTag(QStringLiteral("a.b")), QStringLiteral("ab"));
    EXPECT_EQ(normalizedTag(QStringLiteral("#a#b#")), QStringLiteral("ab"));
}

TEST(IndexWords, SplitAtEverythingButLettersNumbersMarksAndHash)
{
    QStringList words;
    forEachIndexWord(u"trip #paris-2024 foo_bar e\u0301t\u00e9 😀x", [&](QStringView word) {
        words.append(word.toString());
    });
    EXPECT_EQ(words, (QStringList{"trip", "#paris", "2024", "foo", "bar", QStringLiteral("e\u0301t\u00e9"), "x"}));
}

TEST(SearchText, LowerTextAgreesWithQtOnEveryKindOfText)
{
    for (const QString& text : {QString(), QStringLiteral("plain words 123"),
             QStringLiteral("Mixed CASE, @[Z]` and A"), QStringLiteral("ÉCOLE Straße İSTANBUL"),
             QStringLiteral("ASCII first then ΣΟΦΙΑ"), QStringLiteral("😀 EMOJI")})
        EXPECT_EQ(lowerText(text), text.toLower()) << text.toStdString();
}

TEST(SearchText, AsciiCharactersSplitWordsAsTheCharacterTablesSay)
{
    for (char16_t c = 0; c < 0x80; ++c) {
        const QString joined = QStringLiteral("xx") + QChar(c) + QStringLiteral("yy");
        const QSet<QString> expected = QChar(c).isLetterOrNumber()
            ? QSet<QString>{joined.toLower()} : QSet<QString>{};
        EXPECT_EQ(extractTokens(joined), expected) << int(c);
    }
}

} // namespace
} // namespace vesk
