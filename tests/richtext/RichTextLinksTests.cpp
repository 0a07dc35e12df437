// Link detection with our own patterns, the Add Link rules and which links may be opened.
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextRtf.h"

#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

// "text [linked](href)" rendering of a document's links, for compact expectations.
QString linksOf(const QString& text)
{
    auto document = makeRichTextDocument();
    QTextCursor(document.get()).insertText(text);
    detectLinks(*document);
    QString out;
    for (const CharRun& run : charRuns(*document, 0, documentLength(*document))) {
        const QString piece = documentText(*document).mid(run.start, run.end - run.start);
        out += hasLink(run.format) ? QStringLiteral("[%1](%2)").arg(piece, run.format.anchorHref()) : piece;
    }
    return out;
}

} // namespace

TEST(RichTextLinks, BareDomainsAndTheirPunctuation)
{
    EXPECT_EQ(linksOf(QStringLiteral("Go to example.com.")), "Go to [example.com](https://example.com).");
    EXPECT_EQ(linksOf(QStringLiteral("(see www.example.org/a/b)")),
              "(see [www.example.org/a/b](https://www.example.org/a/b))");
    EXPECT_EQ(linksOf(QStringLiteral("[docs.example.io]")), "[[docs.example.io](https://docs.example.io)]");
    EXPECT_EQ(linksOf(QStringLiteral("EXAMPLE.COM now")), "[EXAMPLE.COM](https://example.com) now");
    EXPECT_EQ(linksOf(QStringLiteral("api.example.dev:8080/x?")), "[api.example.dev:8080/x](https://api.example.dev:8080/x)?");
    EXPECT_TRUE(findBareDomainLinks(QStringLiteral("example.de and example.uk")).isEmpty())
        << "top-level domains outside the sixteen";
    EXPECT_EQ(linksOf(QStringLiteral("-bad-.com x_y.com")), "-bad-.com x_y.com");
    EXPECT_EQ(linksOf(QStringLiteral("file.txt")), "file.txt");
}

TEST(RichTextLinks, LongDottedNamesAreReadFromTheirFirstLabel)
{
    // Such names are where a match could restart at every label; each is still found whole.
    const QString name = QStringLiteral("a.").repeated(3000) + QStringLiteral("com");
    const QList<DetectedLink> links = findBareDomainLinks(QStringLiteral("x ") + name + QStringLiteral(" y"));
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links[0].start, 2);
    EXPECT_EQ(links[0].length, name.size());
    EXPECT_TRUE(findBareDomainLinks(QStringLiteral("www.").repeated(5000)).isEmpty());
    EXPECT_EQ(linksOf(QStringLiteral("see...example.com")), "see...[example.com](https://example.com)");
}

// Addresses without a scheme are linked whole when their host is a domain under a public suffix
// (or starts with www.), not cut at a top-level domain that the bare-domain pass knows.
TEST(RichTextLinks, AddressesUnderAnyPublicSuffixAreLinkedWhole)
{
    const struct {
        const char* text;
        const char* linked;
    } cases[] = {
        {"Visit www.bbc.co.uk/news", "Visit [www.bbc.co.uk/news](https://www.bbc.co.uk/news)"},
        {"example.co.uk", "[example.co.uk](https://example.co.uk)"},
        {"see www.gov.uk/browse.", "see [www.gov.uk/browse](https://www.gov.uk/browse)."},
        {"test.com.au:8080/x", "[test.com.au:8080/x](https://test.com.au:8080/x)"},
        {"shop.example.de/a.", "[shop.example.de/a](https://shop.example.de/a)."},
        {"(www.intranet)", "([www.intranet](https://www.intranet))"},
        {"EXAMPLE.DE?", "[EXAMPLE.DE](https://example.de)?"},
        {"a.example.org/r?u=https://b.example", "[a.example.org/r?u=https://b.example](https://a.example.org/r?u=https://b.example)"},
        // Not domains: a public suffix alone, unknown last labels, numbers, file names and paths.
        {"co.uk and com.au", "co.uk and com.au"},
        {"notes.draft e.g. i.e. v1.2.3", "notes.draft e.g. i.e. v1.2.3"},
        {"/home/me/site.de C:\\web\\site.de", "/home/me/site.de C:\\web\\site.de"},
        {"user@example.co.uk", "[user@example.co.uk](mailto:user@example.co.uk)"},
        // File names whose extension is also a public suffix stay text; as addresses they are linked.
        {"README.md setup.py install.sh main.rs", "README.md setup.py install.sh main.rs"},
        {"clip.mov photos.zip run.pl main.cc", "clip.mov photos.zip run.pl main.cc"},
        {"libfoo.so Makefile.am, IMG_0001.MOV.", "libfoo.so Makefile.am, IMG_0001.MOV."},
        {"www.example.sh", "[www.example.sh](https://www.example.sh)"},
        {"example.md/guide", "[example.md/guide](https://example.md/guide)"},
        {"tools.sh:8080", "[tools.sh:8080](https://tools.sh:8080)"},
        {"https://readme.md", "[https://readme.md](https://readme.md)"},
        {"me@studio.sh", "[me@studio.sh](mailto:me@studio.sh)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linksOf(QString::fromUtf8(c.text)).toStdString(), c.linked);
}

TEST(RichTextLinks, SchemesAndMailAreLinkedOnce)
{
    EXPECT_EQ(linksOf(QStringLiteral("at https://example.com/a.")), "at [https://example.com/a](https://example.com/a).");
    EXPECT_EQ(linksOf(QStringLiteral("wiki https://en.example.org/Foo_(bar) ok")),
              "wiki [https://en.example.org/Foo_(bar)](https://en.example.org/Foo_(bar)) ok");
    EXPECT_EQ(linksOf(QStringLiteral("mail me@example.com!")), "mail [me@example.com](mailto:me@example.com)!")
        << "the domain after the at sign is not linked on its own";
    EXPECT_EQ(linksOf(QStringLiteral("mailto:x@example.org")), "[mailto:x@example.org](mailto:x@example.org)");
    EXPECT_EQ(linksOf(QStringLiteral("ftp://files.example.net/a")), "[ftp://files.example.net/a](ftp://files.example.net/a)");
    EXPECT_EQ(linksOf(QStringLiteral("no https:// here")), "no https:// here");
}

TEST(RichTextLinks, DetectionNeverReplacesALink)
{
    auto document = makeRichTextDocument();
    QTextCharFormat own;
    own.setAnchor(true);
    own.setAnchorHref(QStringLiteral("https://mine.example.org"));
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("example.com"), own);
    cursor.insertText(QStringLiteral(" and other.net"), QTextCharFormat());
    detectLinks(*document);
    detectLinks(*document);
    EXPECT_EQ(charFormatAt(*document, 0).anchorHref(), "https://mine.example.org");
    EXPECT_EQ(charFormatAt(*document, 20).anchorHref(), "https://other.net");
}

TEST(RichTextLinks, AddLinkRules)
{
    EXPECT_EQ(addLinkPrefill(QStringLiteral("  example.com\n")), "example.com");
    EXPECT_EQ(addLinkPrefill(QStringLiteral("a sentence. with spaces")), "");
    EXPECT_EQ(addLinkPrefill(QStringLiteral("nodot")), "");

    EXPECT_EQ(addLinkURL(QStringLiteral(" example.com ")), QUrl(QStringLiteral("https://example.com")));
    EXPECT_EQ(addLinkURL(QStringLiteral("HTTP://Example.com/Path"))->scheme(), "http");
    EXPECT_FALSE(addLinkURL(QStringLiteral("ftp://example.com")));
    EXPECT_FALSE(addLinkURL(QStringLiteral("   ")));
    EXPECT_FALSE(addLinkURL(QStringLiteral("javascript://alert(1)")));
}

TEST(RichTextLinks, OnlyWebAndMailLinksAreOpened)
{
    EXPECT_TRUE(isOpenableLink(QUrl(QStringLiteral("https://example.com"))));
    EXPECT_TRUE(isOpenableLink(QUrl(QStringLiteral("HTTP://example.com"))));
    EXPECT_TRUE(isOpenableLink(QUrl(QStringLiteral("mailto:a@example.com"))));
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "vesk-check://toggle",
                            "x-scheme-handler:run", ""})
        EXPECT_FALSE(isOpenableLink(QUrl(QString::fromLatin1(url)))) << url;
}
