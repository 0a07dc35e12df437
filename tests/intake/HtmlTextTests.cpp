#include "intake/HtmlText.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(HtmlText, EntitiesDecodeOnceWithAmpersandLast)
{
    EXPECT_EQ(decodeHTMLEntities(QStringLiteral("A&nbsp;&lt;b&gt; &quot;c&quot; &#39;d&#39; &amp; e")),
              QStringLiteral("A <b> \"c\" 'd' & e"));
    // An escaped entity stays the literal text of that entity.
    EXPECT_EQ(decodeHTMLEntities(QStringLiteral("&amp;lt;tag&amp;gt; &amp;amp;")),
              QStringLiteral("&lt;tag&gt; &amp;"));
    // Entities outside the list are left alone.
    EXPECT_EQ(decodeHTMLEntities(QStringLiteral("&copy; &#8212;")), QStringLiteral("&copy; &#8212;"));
}

TEST(HtmlText, BlocksBecomeLinesAndTagsSpaces)
{
    EXPECT_EQ(plainTextFromHTML(QStringLiteral("<p>One</p><p>Two &amp; three</p>")),
              QStringLiteral("One\nTwo & three"));
    EXPECT_EQ(plainTextFromHTML(QStringLiteral("a<br>b<BR/>c<span>d</span>e")),
              QStringLiteral("a\nb\nc d e"));
    EXPECT_EQ(plainTextFromHTML(QStringLiteral("<ul><li> first\t item </li>\n\n<li>second</li></ul>")),
              QStringLiteral("first item\nsecond"));
    EXPECT_EQ(plainTextFromHTML(QString()), QString());
}

TEST(HtmlText, ScriptsStylesAndNoscriptNeverReachTheText)
{
    const QString html = QStringLiteral(
        "<HTML><HEAD><STYLE type=\"text/css\">body { color: red }</STYLE>"
        "<SCRIPT>var secret = 1;\n alert('x');</SCRIPT></HEAD>"
        "<body><noscript>enable scripts</noscript><h1>Visible</h1>"
        "<script src=\"a.js\"></script>after</body></HTML>");
    EXPECT_EQ(plainTextFromHTML(html), QStringLiteral("Visible\nafter"));
}

TEST(HtmlText, PageTextIsCappedAtTheCharacterLimit)
{
    const QString html = QStringLiteral("<p>") + QString(kMaxPageTextCharacters + 500, QLatin1Char('x'))
        + QStringLiteral("</p>");
    EXPECT_EQ(plainTextFromHTML(html).size(), kMaxPageTextCharacters);
}

TEST(HtmlText, TitleIsTheFirstOneLineTitleDecoded)
{
    EXPECT_EQ(htmlTitle(QStringLiteral("<title>A &amp; B</title>")), QStringLiteral("A & B"));
    EXPECT_EQ(htmlTitle(QStringLiteral("<TITLE lang=\"en\">  Spaced  </TITLE><title>Second</title>")),
              QStringLiteral("Spaced"));
    EXPECT_EQ(htmlTitle(QStringLiteral("<title>Split\nover lines</title>")), std::nullopt);
    EXPECT_EQ(htmlTitle(QStringLiteral("<title>   </title>")), std::nullopt);
    EXPECT_EQ(htmlTitle(QStringLiteral("<p>no title</p>")), std::nullopt);
}

} // namespace
} // namespace vesk
