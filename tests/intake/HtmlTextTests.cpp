#include "intake/HtmlText.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(HtmlText, EntitiesDecodeToTheirCharacters)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        // The common six, "&nbsp;" as a plain space.
        {"A&nbsp;&lt;b&gt; &quot;c&quot; &#39;d&#39; &amp; e", "A <b> \"c\" 'd' & e"},
        // "&amp;" goes before the others: a twice-escaped entity ends as its character.
        {"&amp;lt;tag&amp;gt;", "<tag>"},
        // Numeric references, decimal and hexadecimal, leading zeros allowed.
        {"&#169; &#187; &#46; &#64; &#x2014;&#X41;&#00065;", "\u00A9 \u00BB . @ \u2014AA"},
        {"&#128512;", "\U0001F600"},
        // References that name no character.
        {"&#0;|&#xD800;|&#x110000;|&#99999999999999999999;", "\uFFFD|\uFFFD|\uFFFD|\uFFFD"},
        // Named references beyond the six, case-sensitive, one of two code points.
        {"&copy; &eacute;&Eacute; &hellip; &mdash; &NotEqualTilde;", "\u00A9 \u00E9\u00C9 \u2026 \u2014 \u2242\u0338"},
        // Nothing is decoded twice: the text a reference gives is not read again.
        {"&#38;copy;", "&copy;"},
        // Text that only looks like a reference stays.
        {"AT&T; Q&A & b; &#; &#xZ; &unknownname;", "AT&T; Q&A & b; &#; &#xZ; &unknownname;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeHTMLEntities(QString::fromUtf8(c.text)), QString::fromUtf8(c.expected)) << c.text;
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
