#include "common/StoreFixture.h"
#include "pane/RelatedPanels.h"
#include "pane/LongTextView.h"
#include "pane/TagsRow.h"
#include "pane/VeskPreview.h"
#include "platform/WorkPools.h"

#include <QApplication>
#include <QThreadPool>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

using namespace vesk;
using namespace vesk::test;

namespace {

class PaneNeighbours : public StoreFixture {
protected:
    // Two pairs of notes, each pair related by its words: the harbour walk and its boats, the
    // quarterly budget and its review.
    std::array<VeskItem, 4> seedHarbourAndBudget()
    {
        const auto note = [](const char* title, qint64 seconds, const char* words) {
            VeskItem item = makeItem(QString::fromUtf8(title), seconds);
            item.searchableText = QString::fromUtf8(words);
            return item;
        };
        const std::array<VeskItem, 4> items{note("Harbour walk", 1'600'000'000, "harbour boats"),
            note("Boats at the harbour", 1'600'000'100, "harbour boats"),
            note("Quarterly budget", 1'600'000'200, "budget figures quarterly"),
            note("Budget review", 1'600'000'300, "budget figures review")};
        seed({items[0], items[1], items[2], items[3]});
        return items;
    }

    static QStringList chipTags(const TagsRow& row)
    {
        QStringList tags;
        for (const TagChip* chip : row.chips())
            tags.append(chip->tag() + (chip->isRemovable() ? QStringLiteral(" ×") : QString()));
        return tags;
    }

    static TagChip* chip(const TagsRow& row, const QString& tag)
    {
        for (TagChip* chip : row.chips()) {
            if (chip->tag() == tag)
                return chip;
        }
        return nullptr;
    }

    static VeskItem fileItem(const QString& name, qint64 secs)
    {
        return makeItem(name, secs, VeskKind::File, QStringLiteral("/library/Items/") + name);
    }

    // The pane adds its related panels a turn of the event loop after the rest of its content.
    template <typename Panel>
    static Panel* waitForPanel(const VeskPreview& pane)
    {
        QTest::qWaitFor([&] { return pane.content() && pane.content()->findChild<Panel*>(); }, 2000);
        return pane.content() ? pane.content()->findChild<Panel*>() : nullptr;
    }

    // "This reminds me of…" ranks on a worker; its rows come on a later turn of the event loop.
    static bool waitForRows(const RelatedPanel& panel)
    {
        return QTest::qWaitFor([&] { return !panel.rows().isEmpty(); }, 5000);
    }

    // Related versions are compared on a worker too.
    static bool waitForAnswer(const RelatedPanel& panel)
    {
        return QTest::qWaitFor([&] { return panel.isAnswered(); }, 5000);
    }

    static QStringList rowTitles(const RelatedPanel& panel)
    {
        QStringList out;
        for (const RelatedRow* row : panel.rows())
            out.append(row->titleText());
        return out;
    }
};

} // namespace

TEST_F(PaneNeighbours, ChipsShowEveryTagAndOnlyHandMadeOnesCanBeRemoved)
{
    VeskItem item = makeItem(QStringLiteral("Sketchbook"), 1'600'000'000);
    item.note = QStringLiteral("an #Idea for later");
    const VeskItem bare = makeItem(QStringLiteral("Bare"), 1'600'000'100);
    seed({item, bare});
    auto store = makeStore();
    ASSERT_TRUE(store->addManualTag(QStringLiteral("alpha"), item));

    TagsRow row(*store, item, QString());
    EXPECT_EQ(chipTags(row), (QStringList{"alpha ×", "idea"}));
    EXPECT_FALSE(row.chipStrip()->isHidden());
    EXPECT_EQ(chip(row, QStringLiteral("alpha"))->text(), QStringLiteral("#alpha"));
    EXPECT_EQ(chip(row, QStringLiteral("idea"))->toolTip(), QStringLiteral("Surface all Vesks tagged #idea"));
    EXPECT_EQ(row.chipStrip()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    TagsRow bareRow(*store, bare, QString());
    EXPECT_TRUE(bareRow.chips().isEmpty());
    EXPECT_TRUE(!bareRow.chipStrip() || bareRow.chipStrip()->isHidden());
    EXPECT_FALSE(bareRow.field()->isHidden());
}

// The hashtags of a note of megabytes are looked for on a worker, not in the turn that shows the
// pane; an item shown after it is not given its chips when they come.
TEST_F(PaneNeighbours, ALongTextsTagsAreReadOnAWorkerAndALaterItemKeepsItsOwn)
{
    VeskItem longNote = makeItem(QStringLiteral("Log"), 1'600'000'000);
    longNote.text = QString(200'000, QLatin1Char('x')) + QStringLiteral(" #harbour");
    longNote.searchableText = *longNote.text;
    VeskItem shortNote = makeItem(QStringLiteral("Sketch"), 1'600'000'100);
    shortNote.note = QStringLiteral("an #idea");
    seed({longNote, shortNote});
    auto store = makeStore();
    ASSERT_TRUE(store->addManualTag(QStringLiteral("alpha"), longNote));
    const auto readsDone = [] {
        WorkPools::shared().files()->waitForDone();
        QCoreApplication::processEvents();
    };

    TagsRow row(*store, longNote, QString());
    EXPECT_TRUE(row.chips().isEmpty()) << "read in the turn that made the row";
    readsDone();
    EXPECT_EQ(chipTags(row), (QStringList{"alpha ×", "harbour"}));

    row.setItem(shortNote, QString());
    EXPECT_EQ(chipTags(row), QStringList{"idea"});
    row.setItem(longNote, QString());
    EXPECT_TRUE(row.chipStrip()->isHidden()) << "another item's chips left on show";
    row.setItem(shortNote, QString());
    readsDone();
    EXPECT_EQ(chipTags(row), QStringList{"idea"});
    EXPECT_FALSE(row.chipStrip()->isHidden());
}

TEST_F(PaneNeighbours, AChipClickSearchesForItsTagAndItsCrossRemovesItWithoutSearching)
{
    VeskItem item = makeItem(QStringLiteral("Trip"), 1'600'000'000);
    item.note = QStringLiteral("#Lisbon");
    seed({item});
    auto store = makeStore();
    store->addManualTag(QStringLiteral("work"), item);
    TagsRow row(*store, item, QString());
    row.resize(400, 80);
    row.show();

    TagChip* work = chip(row, QStringLiteral("work"));
    ASSERT_NE(work, nullptr);
    QTest::mouseClick(work, Qt::LeftButton, {}, QPoint(6, work->height() / 2));
    EXPECT_EQ(store->searchText(), QStringLiteral("#work"));

    store->setSearchText(QString());
    TagChip* lisbon = chip(row, QStringLiteral("lisbon"));
    QTest::mouseClick(lisbon, Qt::LeftButton, {}, QPoint(lisbon->width() - 3, lisbon->height() / 2));
    EXPECT_EQ(store->searchText(), QStringLiteral("#lisbon"));

    store->setSearchText(QString());
    QTest::mouseClick(work, Qt::LeftButton, {}, work->crossRect().center());
    EXPECT_EQ(store->searchText(), QString());
    EXPECT_TRUE(store->manualTags(item).isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(chipTags(row), QStringList{"lisbon"});
}

TEST_F(PaneNeighbours, TheEntryAddsANormalisedTagAndKeepsTheTextWhenNothingWasAdded)
{
    const VeskItem item = makeItem(QStringLiteral("Notes"), 1'600'000'000);
    seed({item});
    auto store = makeStore();
    TagsRow row(*store, item, QString());
    QStringList drafts;
    QObject::connect(&row, &TagsRow::draftChanged, [&](const QString& draft) { drafts.append(draft); });

    EXPECT_FALSE(row.addButton()->isEnabled());
    row.field()->setText(QStringLiteral("   "));
    EXPECT_FALSE(row.addButton()->isEnabled());
    // Return on a blank field asks the store, which adds nothing; the text stays.
    QTest::keyClick(row.field(), Qt::Key_Return);
    EXPECT_EQ(row.field()->text(), QStringLiteral("   "));
    EXPECT_TRUE(store->manualTags(item).isEmpty());

    row.field()->setText(QStringLiteral("  #Work Trip "));
    EXPECT_TRUE(row.addButton()->isEnabled());
    QTest::keyClick(row.field(), Qt::Key_Return);
    EXPECT_EQ(store->manualTags(item), QSet<QString>{"worktrip"});
    EXPECT_TRUE(row.field()->text().isEmpty());
    EXPECT_EQ(chipTags(row), QStringList{"worktrip ×"});

    // A tag the item already has: the draft stays as typed.
    row.field()->setText(QStringLiteral("WorkTrip"));
    row.addButton()->click();
    EXPECT_EQ(row.field()->text(), QStringLiteral("WorkTrip"));
    EXPECT_EQ(store->manualTags(item).size(), 1);
    EXPECT_EQ(drafts.last(), QStringLiteral("WorkTrip"));
}

TEST_F(PaneNeighbours, TheDraftOutlivesARefreshOfTheSameItemButNotAnotherItem)
{
    const VeskItem first = makeItem(QStringLiteral("First"), 1'600'000'000);
    const VeskItem second = makeItem(QStringLiteral("Second"), 1'600'000'100);
    seed({first, second});
    auto store = makeStore();
    VeskPreview pane(*store);
    pane.setItem(first);
    pane.content()->findChild<TagsRow*>()->field()->setText(QStringLiteral("half typed"));

    VeskItem renamed = first;
    renamed.title = QStringLiteral("First, renamed");
    ASSERT_TRUE(store->updateItem(renamed));
    pane.setItem(renamed);
    EXPECT_EQ(pane.content()->findChild<TagsRow*>()->field()->text(), QStringLiteral("half typed"));

    pane.setItem(second);
    EXPECT_TRUE(pane.content()->findChild<TagsRow*>()->field()->text().isEmpty());
}

TEST_F(PaneNeighbours, TheVersionsPanelCountsTheShownItemAsAPassAndHidesWhenAlone)
{
    const VeskItem report = fileItem(QStringLiteral("Report final.pdf"), 1'600'000'000);
    const VeskItem v2 = fileItem(QStringLiteral("Report v2.pdf"), 1'600'000'100);
    const VeskItem draft = fileItem(QStringLiteral("Report draft.pdf"), 1'600'000'200);
    const VeskItem other = fileItem(QStringLiteral("Invoice.pdf"), 1'600'000'300);
    QList<VeskItem> library{report, v2, draft, other};
    for (int i = 3; i <= 9; ++i)
        library.append(fileItem(QStringLiteral("Slides v%1.key").arg(i), 1'600'000'000 + i));
    seed(library);
    auto store = makeStore();

    RelatedVersionsPanel panel(*store, report);
    ASSERT_TRUE(waitForAnswer(panel));
    EXPECT_FALSE(panel.isHidden());
    EXPECT_EQ(rowTitles(panel), (QStringList{"Report draft", "Report v2"}));
    EXPECT_EQ(panel.passesText(), QStringLiteral("3 passes"));
    EXPECT_EQ(panel.rows().first()->symbol(), QStringLiteral("doc.on.doc"));

    RelatedVersionsPanel alone(*store, other);
    ASSERT_TRUE(waitForAnswer(alone));
    EXPECT_TRUE(alone.isHidden());
    EXPECT_TRUE(alone.rows().isEmpty());

    // Seven slides: six rows at most, and the panel counts seven passes.
    RelatedVersionsPanel slides(*store, library.last());
    ASSERT_TRUE(waitForAnswer(slides));
    EXPECT_EQ(slides.rows().size(), 6);
    EXPECT_EQ(slides.passesText(), QStringLiteral("7 passes"));

    // A new version joins the panel once the library changes.
    ASSERT_TRUE(store->commitNewItem(fileItem(QStringLiteral("Invoice copy.pdf"), 1'600'001'000)));
    ASSERT_TRUE(waitForRows(alone));
    EXPECT_FALSE(alone.isHidden());
    EXPECT_EQ(alone.passesText(), QStringLiteral("2 passes"));
}

TEST_F(PaneNeighbours, TheRemindsMePanelShowsThreeAtMostAndAClickSelectsTheItem)
{
    VeskItem shown = makeItem(QStringLiteral("Harbour walk"), 1'600'000'000);
    shown.searchableText = QStringLiteral("harbour boats");
    QList<VeskItem> library{shown};
    for (int i = 0; i < 5; ++i) {
        VeskItem other = makeItem(QStringLiteral("Boats %1").arg(i), 1'600'000'000 + i);
        other.searchableText = QStringLiteral("boats");
        library.append(other);
    }
    VeskItem link = makeItem(QStringLiteral("Harbour map"), 1'600'000'500, VeskKind::Url);
    link.searchableText = QStringLiteral("harbour walk");
    library.append(link);
    seed(library);
    auto store = makeStore();

    RelatedVesksPanel panel(*store, shown);
    EXPECT_TRUE(panel.isHidden());
    ASSERT_TRUE(waitForRows(panel));
    ASSERT_EQ(panel.rows().size(), 3);
    // The link shares two words, one of them in its title, and comes first.
    RelatedRow* first = panel.rows().first();
    EXPECT_EQ(first->item().id, link.id);
    EXPECT_EQ(first->symbol(), QStringLiteral("link"));
    EXPECT_EQ(first->detailText(), QStringLiteral("Link"));

    panel.resize(300, 200);
    panel.show();
    QTest::mouseClick(first, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(store->selectedID(), link.id);
    EXPECT_EQ(store->selectedIDs(), QSet<QUuid>{link.id});
}

TEST_F(PaneNeighbours, InThePaneBothPanelsStandUnderTheDividerAndFollowTheFocusedItem)
{
    const VeskItem only = makeItem(QStringLiteral("Lonely note"), 1'600'000'000);
    seed({only});
    auto store = makeStore();
    VeskPreview pane(*store);
    pane.followSelection();
    store->select(only.id);
    auto* versions = waitForPanel<RelatedVersionsPanel>(pane);
    auto* reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(versions, nullptr);
    ASSERT_NE(reminds, nullptr);
    // A library of one item relates nothing: neither panel takes any room.
    ASSERT_TRUE(waitForAnswer(*versions));
    EXPECT_TRUE(versions->isHidden());
    EXPECT_TRUE(reminds->isHidden());

    VeskItem sibling = makeItem(QStringLiteral("Lonely note, again"), 1'600'000'100);
    ASSERT_TRUE(store->commitNewItem(sibling));
    store->select(only.id);
    reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_FALSE(reminds->isHidden());
    ASSERT_EQ(reminds->rows().size(), 1);

    QTest::mouseClick(reminds->rows().first(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_TRUE(pane.item());
    EXPECT_EQ(pane.item()->id, sibling.id);
    reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_EQ(reminds->shownItems().first().id, only.id);
}

TEST_F(PaneNeighbours, RelatedPanelsArriveAfterTheContentAndOnlyForTheItemStillShown)
{
    VeskItem harbour = makeItem(QStringLiteral("Harbour walk"), 1'600'000'000);
    harbour.searchableText = QStringLiteral("harbour boats");
    VeskItem boats = makeItem(QStringLiteral("Boats at the harbour"), 1'600'000'100);
    boats.searchableText = QStringLiteral("harbour boats");
    VeskItem budget = makeItem(QStringLiteral("Quarterly budget"), 1'600'000'200);
    budget.text = QStringLiteral("Budget figures, quarterly");
    budget.searchableText = QStringLiteral("budget figures quarterly");
    VeskItem review = makeItem(QStringLiteral("Budget review"), 1'600'000'300);
    review.searchableText = QStringLiteral("budget figures review");
    // A text long enough to be shown in pieces, which relates to the budget too.
    VeskItem ledger = makeItem(QStringLiteral("Budget ledger"), 1'600'000'400);
    ledger.text = QStringLiteral("budget figures of the quarter\n").repeated(8'000);
    ledger.searchableText = *ledger.text;
    seed({harbour, boats, budget, review, ledger});
    auto store = makeStore();

    VeskPreview pane(*store);
    // Replaced before its panels were added: the harbour's panels never come, in the replaced
    // content or in the new one.
    pane.setItem(harbour);
    pane.setItem(budget);
    auto* reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_EQ(pane.content()->findChildren<RelatedVesksPanel*>().size(), 1);
    EXPECT_EQ(pane.content()->findChildren<RelatedVersionsPanel*>().size(), 1);
    QList<QUuid> shown;
    for (const VeskItem& item : reminds->shownItems())
        shown.append(item.id);
    EXPECT_TRUE(shown.contains(review.id));
    EXPECT_FALSE(shown.contains(boats.id));

    // They take their place under the divider, above the item's own section.
    auto* column = qobject_cast<QVBoxLayout*>(pane.content()->layout());
    ASSERT_NE(column, nullptr);
    auto* section = pane.content()->findChild<QWidget*>(QStringLiteral("previewTextSection"));
    ASSERT_NE(section, nullptr);
    auto* versions = pane.content()->findChild<RelatedVersionsPanel*>();
    EXPECT_EQ(column->indexOf(versions) + 1, column->indexOf(reminds));
    EXPECT_LT(column->indexOf(reminds), column->indexOf(section));
    EXPECT_LT(column->indexOf(pane.content()->findChild<TagsRow*>()), column->indexOf(versions));

    // A long text: the whole of it and its panel in the end.
    pane.setItem(ledger);
    reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_FALSE(reminds->isHidden());
    auto* text = pane.content()->findChild<LongTextView*>(QStringLiteral("previewPlainText"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text->isFilled(); }, 5000));
    text->selectAll();
    EXPECT_EQ(text->selectedText(), ledger.text->toString());

    // A pane gone before its panels were due leaves nothing to run, though the content it
    // replaced waits a turn longer for its deletion.
    {
        VeskPreview brief(*store);
        brief.setItem(harbour);
        brief.setItem(budget);
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

TEST_F(PaneNeighbours, ThePanelsOfTheLastItemGoBlankTheMomentAnotherItemShows)
{
    const auto [harbour, boats, budget, review] = seedHarbourAndBudget();
    auto store = makeStore();

    VeskPreview pane(*store);
    pane.setItem(harbour);
    auto* reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_FALSE(reminds->isHidden());

    // The same panel serves the next item: until its answer about the budget comes it shows
    // nothing, and offers none of the harbour's rows.
    pane.setItem(budget);
    EXPECT_TRUE(reminds->isWaiting());
    EXPECT_FALSE(reminds->isAnswered());
    EXPECT_TRUE(reminds->rows().isEmpty());
    ASSERT_TRUE(waitForRows(*reminds));
    EXPECT_FALSE(reminds->isHidden());
    EXPECT_FALSE(reminds->isWaiting());
    QList<QUuid> shown;
    for (const VeskItem& item : reminds->shownItems())
        shown.append(item.id);
    EXPECT_TRUE(shown.contains(review.id));
    EXPECT_FALSE(shown.contains(boats.id));
}

// While it waits for another item's answer the panel keeps its place, and what it kept of the
// last answer can be neither seen, clicked, reached with the keyboard nor heard by name.
TEST_F(PaneNeighbours, AWaitingPanelOffersNothingOfTheLastAnswer)
{
    const auto [harbour, boats, budget, review] = seedHarbourAndBudget();
    auto store = makeStore();

    RelatedVesksPanel panel(*store, harbour);
    ASSERT_TRUE(waitForRows(panel));
    panel.resize(300, 200);
    panel.show();
    QCoreApplication::processEvents();
    RelatedRow* kept = panel.rows().first();
    const QSize size = panel.size();
    // The focus on the pane's content elsewhere.
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();

    panel.setItem(budget);
    ASSERT_TRUE(panel.isWaiting());
    EXPECT_FALSE(panel.isHidden());
    EXPECT_EQ(panel.size(), size);
    QImage blank(panel.grab().toImage().convertToFormat(QImage::Format_ARGB32));
    QImage background(blank.size(), QImage::Format_ARGB32);
    background.fill(panel.palette().color(QPalette::Window));
    EXPECT_EQ(blank, background) << "nothing of the panel is painted";
    EXPECT_EQ(kept->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(kept->accessibleName().isEmpty());
    EXPECT_FALSE(kept->testAttribute(Qt::WA_SetCursor));
    QTest::mouseClick(kept, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_NE(store->selectedID(), boats.id);

    panel.refresh();
    ASSERT_TRUE(waitForRows(panel));
    EXPECT_FALSE(panel.isWaiting());
    RelatedRow* answered = panel.rows().first();
    EXPECT_EQ(answered->item().id, review.id);
    EXPECT_EQ(answered->accessibleName(), answered->titleText());
    EXPECT_EQ(answered->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(answered->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_NE(panel.grab().toImage().convertToFormat(QImage::Format_ARGB32), background);

    // With the focus on one of its rows it hides instead, and the focus leaves it.
    answered->setFocus();
    ASSERT_TRUE(answered->hasFocus());
    panel.setItem(harbour);
    EXPECT_FALSE(panel.isWaiting());
    EXPECT_TRUE(panel.isHidden());
    EXPECT_FALSE(answered->hasFocus());
}

TEST_F(PaneNeighbours, AHiddenPanelKeepsItsRoomUntilTheNextItemsAnswer)
{
    VeskItem harbour = makeItem(QStringLiteral("Harbour walk"), 1'600'000'000);
    harbour.text = QStringLiteral("Along the harbour");
    harbour.searchableText = QStringLiteral("harbour boats");
    VeskItem boats = makeItem(QStringLiteral("Boats at the harbour"), 1'600'000'100);
    boats.searchableText = QStringLiteral("harbour boats");
    VeskItem budget = makeItem(QStringLiteral("Quarterly budget"), 1'600'000'200);
    budget.text = QStringLiteral("Budget figures");
    budget.searchableText = QStringLiteral("budget figures quarterly");
    VeskItem review = makeItem(QStringLiteral("Budget review"), 1'600'000'300);
    review.searchableText = QStringLiteral("budget figures review");
    seed({harbour, boats, budget, review});
    auto store = makeStore();

    VeskPreview pane(*store);
    pane.resize(420, 900);
    pane.show();
    pane.setItem(harbour);
    auto* reminds = waitForPanel<RelatedVesksPanel>(pane);
    ASSERT_NE(reminds, nullptr);
    ASSERT_TRUE(waitForRows(*reminds));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    auto* section = pane.content()->findChild<QWidget*>(QStringLiteral("previewTextSection"));
    ASSERT_NE(section, nullptr);
    const int top = section->y();
    ASSERT_GT(top, reminds->geometry().bottom());

    // Blank, with none of the harbour's rows in sight, and the text under it where it was;
    // the budget's rows then fill the same room.
    pane.setItem(budget);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_TRUE(reminds->isWaiting());
    EXPECT_EQ(section->y(), top);
    ASSERT_TRUE(waitForRows(*reminds));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_FALSE(reminds->isHidden());
    EXPECT_EQ(section->y(), top);
}
