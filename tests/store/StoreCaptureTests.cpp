#include "store/IntakeStoreFixture.h"

#include "search/SearchText.h"

#include <QTest>

namespace vesk::test {
namespace {

using StoreCaptureTest = IntakeStoreTest;

const QString kNote = QStringLiteral(
    "Remember to water the tomato plants every morning before leaving for work, and check the "
    "greenhouse thermometer twice daily during the heatwave.");

TEST_F(StoreCaptureTest, LoneWebAddressBecomesALinkAndEverythingElseText)
{
    auto store = makeStore();
    store->addText(QStringLiteral("  https://example.com/docs/page?q=1  "));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem link = store->items().first();
    EXPECT_EQ(link.kind, VeskKind::Url);
    EXPECT_EQ(link.title, QStringLiteral("example.com"));
    EXPECT_EQ(link.urlString, QStringLiteral("https://example.com/docs/page?q=1"));
    EXPECT_EQ(link.searchableText, QStringLiteral("https://example.com/docs/page?q=1"));
    EXPECT_EQ(store->selectedID(), link.id);

    store->addText(QStringLiteral("https://example.com is where the docs live"));
    store->addText(QStringLiteral("ftp://files.example.com/a.zip"));
    store->addText(QStringLiteral("https://example.com/x"), QStringLiteral(" Reading list "));
    ASSERT_EQ(store->items().size(), 4);
    for (qsizetype i = 0; i < 3; ++i)
        EXPECT_EQ(store->items().at(i).kind, VeskKind::Text) << i;
    EXPECT_EQ(store->items().at(0).title, QStringLiteral("Reading list"));
    EXPECT_EQ(store->items().at(2).title, QStringLiteral("https://example.com is where the docs live"));

    store->addText(QStringLiteral(" \n\t "));
    store->addRichTextNote(std::nullopt, QStringLiteral("   "), QByteArray("{\\rtf1}"));
    EXPECT_EQ(store->items().size(), 4);
    EXPECT_EQ(storedItems().size(), 4);
}

TEST_F(StoreCaptureTest, FamiliarTextIsStillAddedThenNamesTheOlderNote)
{
    auto store = makeStore();
    store->addText(kNote, QStringLiteral("Garden"));
    const QUuid older = store->items().first().id;
    EXPECT_FALSE(store->intakeNotice());
    store->addText(QStringLiteral("Unrelated shopping list"));
    const QSet<QUuid> multiple{older, store->items().first().id};
    store->setSelectedIDs(multiple);

    QString edited = kNote;
    edited.replace(QStringLiteral("thermometer"), QStringLiteral("hygrometer"));
    store->addText(edited);
    ASSERT_EQ(store->items().size(), 3);
    EXPECT_EQ(store->items().first().text, edited);
    EXPECT_EQ(store->selectedID(), store->items().first().id);
    EXPECT_EQ(store->selectedIDs(), multiple);
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->kind, VeskIntakeNoticeKind::Version);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Looks familiar"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Garden"));
    EXPECT_EQ(store->intakeNotice()->relatedID, older);
}

TEST_F(StoreCaptureTest, RichTextNoteKeepsItsRtfBesideThePlainText)
{
    auto store = makeStore();
    const QByteArray rtf("{\\rtf1\\ansi {\\b Bold} plan}");
    store->addRichTextNote(QString(), QStringLiteral("\n  Bold plan\nsecond line "), rtf);
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem note = store->items().first();
    EXPECT_EQ(note.title, deriveTitle(QStringLiteral("Bold plan\nsecond line")));
    EXPECT_EQ(note.searchableText, QStringLiteral("Bold plan\nsecond line"));
    EXPECT_EQ(store->richTextByID().value(note.id), rtf);

    auto db = SQLiteDatabase::open(dataDir + "/vesk.sqlite3");
    ASSERT_TRUE(db);
    EXPECT_EQ(db.value()->fetchRichText().value().value(note.id), rtf);
}

TEST_F(StoreCaptureTest, HtmlBecomesAMarkedTextItem)
{
    auto store = makeStore();
    store->addHTML(QByteArray("<html><title>A &amp; B</title><p>First</p><p>Second &amp;lt;x&amp;gt;</p></html>"));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem page = store->items().first();
    EXPECT_EQ(page.title, QStringLiteral("A & B"));
    EXPECT_EQ(page.text, QStringLiteral("A & B\nFirst\nSecond <x>"));
    EXPECT_EQ(page.searchableText, QStringLiteral("__vesk_source_html__ A & B\nFirst\nSecond <x>"));

    store->addHTML(QByteArray("<p>caf\xE9</p>")); // Latin-1, not UTF-8
    EXPECT_EQ(store->items().size(), 1);
    store->addHTML(QByteArray("<div></div>"));
    ASSERT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->items().first().title, QStringLiteral("Untitled Vesk"));
    // A title split over two lines is no title: the first line of the page text stands in.
    store->addHTML(QByteArray("<title>Split\ntitle</title><h1>Heading</h1><p>Body</p>"));
    ASSERT_EQ(store->items().size(), 3);
    EXPECT_EQ(store->items().first().title, QStringLiteral("Split"));
}

TEST_F(StoreCaptureTest, PageReferencesBecomeCharactersNotTags)
{
    auto store = makeStore();
    // Numeric and named references are read as characters: none stays as text, none becomes a tag.
    store->addHTML(QByteArray("<title>Caf&eacute; &#187; menu</title><p>&#169; 2024 &#46; mail&#64;example &#x23;notes</p>"));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem entities = store->items().first();
    EXPECT_EQ(entities.title, QStringLiteral("Caf\u00E9 \u00BB menu"));
    EXPECT_FALSE(entities.searchableText.toString().contains(QLatin1Char('&'))) << entities.searchableText.toString().toStdString();
    EXPECT_EQ(store->tags(entities), QStringList{QStringLiteral("notes")});
}

TEST_F(StoreCaptureTest, CommitTellsWhetherTheRowWasWritten)
{
    auto store = makeStore();
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("kept");
    item.createdAt = clock->now();
    EXPECT_TRUE(store->commitNewItem(item));
    EXPECT_EQ(storedItems().size(), 1);

    failItemSaves(*store, true);
    VeskItem lost = item;
    lost.id = QUuid::createUuid();
    EXPECT_FALSE(store->commitNewItem(lost));
    EXPECT_EQ(store->items().first().id, lost.id); // still shown, in memory
    EXPECT_EQ(storedItems().size(), 1);
    EXPECT_EQ(logLines.filter(QStringLiteral("Vesk SQLite save error: ")).size(), 1);

    // A library that could not be read takes nothing in, rather than keeping it on screen only.
    auto unreadable = makeStore(false);
    EXPECT_FALSE(unreadable->commitNewItem(item));
    EXPECT_TRUE(unreadable->items().isEmpty());
    ASSERT_TRUE(unreadable->failureNotice());
    EXPECT_EQ(unreadable->failureNotice()->title, QStringLiteral("Not kept"));
    drainEvents();
}

} // namespace
} // namespace vesk::test

namespace vesk::test {
namespace {

TEST_F(StoreCaptureTest, ALinkKeepsItsAddressAsWritten)
{
    auto store = makeStore();
    const QString address = QStringLiteral("https://example.com/a%20b/caf%C3%A9?q=x%2By#top");
    store->addText(address);
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem link = store->items().first();
    EXPECT_EQ(link.kind, VeskKind::Url);
    EXPECT_EQ(link.urlString, address);
    EXPECT_EQ(link.searchableText, address);
    EXPECT_EQ(QUrl(*link.urlString), QUrl(address));
}

} // namespace
} // namespace vesk::test

namespace vesk::test {
namespace {

TEST_F(StoreCaptureTest, ANewCaptureJoinsTheResultsOfTheCurrentSearch)
{
    auto store = makeStore();
    store->addText(QStringLiteral("Seed catalogue order for spring"));
    store->setSearchText(QStringLiteral("greenhouse"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().isEmpty(); }, 2000));

    store->addText(kNote);
    const QUuid note = store->items().first().id;
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().size() == 1; }, 2000));
    EXPECT_EQ(store->filteredItems().first().id, note);

    const QString path = source(QStringLiteral("greenhouse plan.pdf"), "%PDF plan");
    ASSERT_TRUE(importNow(*store, path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->filteredItems().size() == 2; }, 2000));
}

} // namespace
} // namespace vesk::test
