// Decisions behind the window's reactions: how long notices stay, and what a drop becomes.
#include "app/VeskApp.h"
#include "app/DropIntake.h"
#include "app/WindowReactions.h"

#include <QDateTime>
#include <QMimeData>
#include <QStringEncoder>
#include <QUrl>
#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(NoticeDelayTest, ReturnedItemsStayLongerThanConfirmations)
{
    EXPECT_EQ(bringBackNoticeDelayMs(VeskBringBackNoticeKind::Returned), 5000);
    EXPECT_EQ(bringBackNoticeDelayMs(VeskBringBackNoticeKind::Scheduled), 2800);
    EXPECT_EQ(bringBackNoticeDelayMs(VeskBringBackNoticeKind::Cancelled), 2800);
    EXPECT_EQ(WindowTimings{}.intakeNoticeMs, 2600);
    EXPECT_EQ(WindowTimings{}.capturePulseMs, 1250);
}

TEST(DropIntakeTest, EachDroppedFileIsImported)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/a.pdf")), QUrl::fromLocalFile(QStringLiteral("/home/u/b.png")),
                  QUrl::fromLocalFile(QStringLiteral("/home/u/c d.txt"))});
    // File managers offer the same paths as text too; the files win.
    mime.setText(QStringLiteral("/home/u/a.pdf\n/home/u/b.png\n/home/u/c d.txt"));
    const QList<DropAction> actions = dropActionsFor(mime);
    ASSERT_EQ(actions.size(), 3);
    for (const DropAction& action : actions)
        EXPECT_EQ(action.kind, DropAction::Kind::ImportFile);
    EXPECT_EQ(actions[2].filePath, QStringLiteral("/home/u/c d.txt"));
}

TEST(DropIntakeTest, BrowserDragWithHtmlAndUrlBecomesHtml)
{
    QMimeData mime;
    mime.setUrls({QUrl(QStringLiteral("https://example.org/page"))});
    mime.setHtml(QStringLiteral("<a href=\"https://example.org/page\">Page</a>"));
    mime.setText(QStringLiteral("https://example.org/page"));
    const QList<DropAction> actions = dropActionsFor(mime);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddHTML);
    EXPECT_EQ(actions[0].html, QByteArray("<a href=\"https://example.org/page\">Page</a>"));

    // Without HTML the address is a link; plain text alone is text.
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://example.org/page"))});
    ASSERT_EQ(dropActionsFor(link).size(), 1);
    EXPECT_EQ(dropActionsFor(link)[0].kind, DropAction::Kind::AddLink);
    QMimeData text;
    text.setText(QStringLiteral("remember the milk"));
    ASSERT_EQ(dropActionsFor(text).size(), 1);
    EXPECT_EQ(dropActionsFor(text)[0].text, QStringLiteral("remember the milk"));
    // Space around the words is the user's: the text is kept as it was dropped.
    QMimeData padded;
    padded.setText(QStringLiteral("\u3000  remember the milk\n\n"));
    ASSERT_EQ(dropActionsFor(padded).size(), 1);
    EXPECT_EQ(dropActionsFor(padded)[0].text, QStringLiteral("\u3000  remember the milk\n\n"));
}

TEST(DropIntakeTest, PictureDraggedFromABrowserKeepsItsAddressNotAnEmptyNote)
{
    QMimeData mime;
    mime.setUrls({QUrl(QStringLiteral("https://example.org/photos/harbour.jpg"))});
    mime.setHtml(QStringLiteral("<meta charset=\"utf-8\"><img src=\"https://example.org/photos/harbour.jpg\">"));
    const QList<DropAction> actions = dropActionsFor(mime);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddLink);
    EXPECT_EQ(actions[0].url, QUrl(QStringLiteral("https://example.org/photos/harbour.jpg")));
}

TEST(DropIntakeTest, ALargeDroppedPageIsJudgedByItsWordsWhereverTheyAre)
{
    const QUrl address(QStringLiteral("https://example.org/page"));
    auto drop = [&](const QByteArray& html) {
        QMimeData mime;
        mime.setUrls({address});
        mime.setData(QStringLiteral("text/html"), html);
        return dropActionsFor(mime);
    };
    const QByteArray pictures = QByteArray("<img alt=\"\xE6\x97\xA5\xE6\x9C\xAC\" src=\"a.png\">").repeated(4'000);

    // Words near the start: a note of the page, its UTF-8 bytes kept as they came.
    const QByteArray wordy = "<html><body><p>Caf\xC3\xA9 notes</p>" + pictures + "</body></html>";
    QList<DropAction> actions = drop(wordy);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddHTML);
    EXPECT_EQ(actions[0].html, wordy);

    // Pictures only (their names in two-byte characters, however the beginning is cut): the
    // address, not an empty note.
    actions = drop("<html><body>" + pictures + "</body></html>");
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddLink);

    // The words only at the very end still make a note.
    actions = drop("<html><body>" + pictures + "<p>the one line of text</p></body></html>");
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddHTML);

    // A long script at the start is no text, even where its beginning is all that was read.
    actions = drop("<html><head><script>" + QByteArray("if (a > b) { show('words'); }\n").repeated(4'000)
                   + "</script></head><body>" + pictures.left(2'000) + "</body></html>");
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddLink);

    // A large page in UTF-16 with its byte order mark reaches the store as UTF-8.
    const QString page = QStringLiteral("<p>Notes from the ferry</p>") + QString::fromUtf8(pictures);
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : page) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    actions = drop(utf16);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddHTML);
    EXPECT_EQ(actions[0].html, page.toUtf8());

    // Bytes that are not UTF-8 come to the store as a decode makes them.
    const QByteArray broken = "<p>caf\xE9 au lait</p>" + pictures;
    actions = drop(broken);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0].kind, DropAction::Kind::AddHTML);
    EXPECT_EQ(actions[0].html, QString::fromUtf8(broken).toUtf8());
}

TEST(DropIntakeTest, NothingUsableGivesNoActions)
{
    QMimeData empty;
    EXPECT_TRUE(dropActionsFor(empty).isEmpty());
    QMimeData blank;
    blank.setText(QStringLiteral("  \n\t"));
    EXPECT_TRUE(dropActionsFor(blank).isEmpty());
    QMimeData wideBlank;
    wideBlank.setText(QStringLiteral("\u3000\u00A0\u2003\r\n"));
    EXPECT_TRUE(dropActionsFor(wideBlank).isEmpty());
    QMimeData blankHtml;
    blankHtml.setHtml(QStringLiteral("<p>\u00A0</p><br>\n"));
    EXPECT_TRUE(dropActionsFor(blankHtml).isEmpty());
    QMimeData image;
    image.setData(QStringLiteral("application/x-unknown"), QByteArray("\x89PNG", 4));
    EXPECT_TRUE(dropActionsFor(image).isEmpty());
    EXPECT_FALSE(dropIsAcceptable(image));
}

TEST(DropIntakeTest, BrowserHtmlInUtf16IsDecoded)
{
    const QString html = QStringLiteral("<p>Caf\u00e9 \u2014 notes</p>");
    QStringEncoder le(QStringEncoder::Utf16LE);
    QStringEncoder be(QStringEncoder::Utf16BE);
    const QByteArray littleNoBom = le.encode(html);
    EXPECT_EQ(decodeDroppedHtml(littleNoBom), html);
    EXPECT_EQ(decodeDroppedHtml(QByteArray("\xFF\xFE", 2) + littleNoBom), html);
    EXPECT_EQ(decodeDroppedHtml(QByteArray("\xFE\xFF", 2) + QByteArray(be.encode(html))), html);
    EXPECT_EQ(decodeDroppedHtml(html.toUtf8()), html);

    QMimeData mime;
    mime.setData(QStringLiteral("text/html"), littleNoBom);
    const QList<DropAction> actions = dropActionsFor(mime);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(QString::fromUtf8(actions[0].html), html) << "the store receives UTF-8";
}

} // namespace
} // namespace vesk

namespace vesk::test {
namespace {

TEST(WindowGeometry, ComesBackWhereItWasWithinTheScreensThereAreNow)
{
    const QSize minimum(1340, 760);
    const QSize fallback(1400, 820);
    const QList<QRect> oneScreen{QRect(0, 0, 1920, 1080)};
    // Where it was, when that still fits.
    EXPECT_EQ(restoredWindowGeometry(QRect(100, 50, 1500, 900), oneScreen, minimum, fallback), QRect(100, 50, 1500, 900));
    // Hanging off the right edge: pulled back on.
    EXPECT_EQ(restoredWindowGeometry(QRect(900, 50, 1500, 900), oneScreen, minimum, fallback), QRect(420, 50, 1500, 900));
    // Never below the minimum, even if it was stored smaller.
    EXPECT_EQ(restoredWindowGeometry(QRect(0, 0, 400, 300), oneScreen, minimum, fallback).size(), minimum);
    // On a screen that is gone, or never stored: the default size, centred on the first screen.
    const QRect gone = restoredWindowGeometry(QRect(4000, 0, 1500, 900), oneScreen, minimum, fallback);
    EXPECT_EQ(gone.size(), fallback);
    EXPECT_EQ(gone.center(), oneScreen.first().center());
    EXPECT_EQ(restoredWindowGeometry(QRect(), oneScreen, minimum, fallback).size(), fallback);
    // A second screen keeps a window that was on it.
    const QList<QRect> twoScreens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 2560, 1440)};
    EXPECT_EQ(restoredWindowGeometry(QRect(2000, 100, 1500, 900), twoScreens, minimum, fallback),
              QRect(2000, 100, 1500, 900));
}

} // namespace
} // namespace vesk::test
