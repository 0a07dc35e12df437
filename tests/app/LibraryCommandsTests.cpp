// The header's library menus, the rename and group prompts, the delete and clear confirmations and
// the filename cleanup sheet, over a real store, offscreen.
#include "AppTestSupport.h"
#include "app/ControlsStrip.h"
#include "app/FilenameCleanupSheet.h"
#include "app/LibraryCommands.h"
#include "app/LibraryConfirmations.h"
#include "app/LibraryMenus.h"
#include "app/LibrarySheets.h"
#include "app/NamePrompt.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// Readable failure messages for lists of texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace vesk;
using namespace vesk::test;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// "title" for an action, "-" for a divider, "[title" and "]" around a submenu; a disabled
// action is written in parentheses and a checked one with a leading "*".
QStringList describe(const QList<LibraryMenuEntry>& entries)
{
    QStringList out;
    for (const LibraryMenuEntry& entry : entries) {
        switch (entry.type) {
        case LibraryMenuEntry::Type::Divider: out << QStringLiteral("-"); break;
        case LibraryMenuEntry::Type::SubmenuBegin: out << QLatin1Char('[') + entry.title; break;
        case LibraryMenuEntry::Type::SubmenuEnd: out << QStringLiteral("]"); break;
        case LibraryMenuEntry::Type::Action: {
            QString text = (entry.checked ? QStringLiteral("*") : QString()) + entry.title;
            out << (entry.enabled ? text : QLatin1Char('(') + text + QLatin1Char(')'));
            break;
        }
        }
    }
    return out;
}

QStringList describe(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else
            out << (action->isEnabled() ? action->text() : QLatin1Char('(') + action->text() + QLatin1Char(')'));
    }
    return out;
}

QAbstractButton* buttonNamed(QWidget* dialog, const QString& text)
{
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// The entries of a menu and its submenus as drawn, each as its path ("Manage Groups/Trips/Rename…").
// Every menu is rendered first; an entry's text reads as Qt shows it, where "&&" is one "&" and a
// lone "&" would be no character but the underline of the next.
void collectShownTexts(QMenu* menu, const QString& prefix, QStringList& out)
{
    menu->ensurePolished();
    menu->adjustSize();
    EXPECT_FALSE(menu->grab().isNull());
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        QString raw = action->text();
        EXPECT_FALSE(raw.remove(QStringLiteral("&&")).contains(QLatin1Char('&')))
            << "underlined as a mnemonic: " << action->text().toStdString();
        const QString shown = prefix + action->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
        out << shown;
        if (action->menu())
            collectShownTexts(action->menu(), shown + QLatin1Char('/'), out);
    }
}

QStringList shownTexts(QMenu* menu)
{
    QStringList out;
    collectShownTexts(menu, QString(), out);
    return out;
}

LibraryMenuInputs inputs(qsizetype items, qsizetype filtered, qsizetype selected, QList<VeskGroup> groups = {},
                         QSet<SheetFlag> missing = {})
{
    LibraryMenuInputs in;
    in.groups = std::move(groups);
    in.itemCount = items;
    in.filteredCount = filtered;
    in.selectedCount = selected;
    in.sheetAvailable = [missing](SheetFlag flag) { return !missing.contains(flag); };
    return in;
}

class LibraryWindowTest : public WindowTest {
protected:
    MainWindow& makeLibraryWindow()
    {
        MainWindow& window = makeWindow();
        // Notices stay up for the whole test, however slowly it runs.
        WindowTimings timings = shortTimings();
        timings.intakeNoticeMs = 60'000;
        window.setTimings(timings);
        installLibrarySheets(window);
        window.show();
        return window;
    }

    VeskItem addItem(const QString& title, qint64 secs, std::optional<QString> filePath = std::nullopt)
    {
        VeskItem item = makeItem(title, secs);
        item.filePath = std::move(filePath);
        if (item.filePath)
            item.kind = VeskKind::File;
        EXPECT_TRUE(store->commitNewItem(item));
        settle();
        return item;
    }

    template <typename Dialog>
    Dialog* presented(MainWindow& window, SheetFlag flag)
    {
        settle();
        return qobject_cast<Dialog*>(window.presentedSheet(flag));
    }
};

} // namespace

// --- Texts with a count ---

TEST(LibraryTexts, CountsTakeThePluralUnlessExactlyOne)
{
    EXPECT_EQ(deleteConfirmationTitle(1), "Delete 1 Vesk?");
    EXPECT_EQ(deleteConfirmationTitle(2), "Delete 2 Vesks?");
    EXPECT_EQ(deleteConfirmationTitle(0), "Delete 0 Vesks?");
    EXPECT_EQ(cleanupHeadline(1), "1 title will change");
    EXPECT_EQ(cleanupHeadline(12), "12 titles will change");
    EXPECT_EQ(cleanupCompletionMessage(1), "Updated 1 Vesk title.");
    EXPECT_EQ(cleanupCompletionMessage(0), "Updated 0 Vesk titles.");
}

// --- Menu entries and their enablement ---

TEST(LibraryMenuEntries, BrowseGroupsOffersManagementOnlyForGroupsThatExistAndPromptsThatDo)
{
    EXPECT_EQ(describe(browseGroupsMenuEntries(inputs(3, 3, 0))), (QStringList{"*All Vesks", "No Group"}));

    const QUuid trip = QUuid::createUuid();
    const QList<VeskGroup> groups{{trip, QStringLiteral("Trip"), {}}, {QUuid::createUuid(), QStringLiteral("Work"), {}}};
    LibraryMenuInputs in = inputs(3, 3, 0, groups);
    in.filter = VeskGroupFilter::group(trip);
    EXPECT_EQ(describe(browseGroupsMenuEntries(in)),
              (QStringList{"All Vesks", "No Group", "-", "*Trip", "Work", "-", "[Manage Groups", "[Trip", "Rename\u2026",
                           "Delete\u2026", "]", "[Work", "Rename\u2026", "Delete\u2026", "]", "]"}));

    in = inputs(3, 3, 0, groups, {SheetFlag::RenameGroupPrompt});
    EXPECT_EQ(describe(browseGroupsMenuEntries(in)).mid(6, 4), (QStringList{"[Manage Groups", "[Trip", "Delete\u2026", "]"}));
    in = inputs(3, 3, 0, groups, {SheetFlag::RenameGroupPrompt, SheetFlag::DeleteGroupConfirmation});
    EXPECT_FALSE(describe(browseGroupsMenuEntries(in)).contains("[Manage Groups"));
}

TEST(LibraryMenuEntries, LibraryActionsFollowTheLibraryTheSelectionAndTheSheetsThatExist)
{
    const QSet<SheetFlag> notBuilt{SheetFlag::FaceClusterInspector, SheetFlag::PersonTimeline};
    EXPECT_EQ(describe(libraryActionsMenuEntries(inputs(0, 0, 0, {}, notBuilt))),
              (QStringList{"About Vesk", "-", "(Select All Visible)", "(Clear Selection)", "-",
                           "(Clean Up Filenames\u2026)", "-", "(Clear Library\u2026)"}));
    // One selected item is enough for "Delete Selected…"; a search that finds nothing disables
    // "Select All Visible" in a library that is not empty.
    EXPECT_EQ(describe(libraryActionsMenuEntries(inputs(5, 0, 1))),
              (QStringList{"About Vesk", "People", "People Timeline & Photo Book\u2026", "-", "Delete Selected\u2026", "-",
                           "(Select All Visible)", "Clear Selection", "-", "Clean Up Filenames\u2026", "-",
                           "Clear Library\u2026"}));
    // Without their dialogs, the destructive entries and the cleanup are not offered at all, and
    // no two dividers meet.
    const QSet<SheetFlag> bare{SheetFlag::AboutVesk,          SheetFlag::FaceClusterInspector, SheetFlag::PersonTimeline,
                               SheetFlag::DeleteConfirmation, SheetFlag::FilenameCleanup,      SheetFlag::ClearLibraryConfirmation};
    EXPECT_EQ(describe(libraryActionsMenuEntries(inputs(5, 5, 2, {}, bare))),
              (QStringList{"Select All Visible", "Clear Selection"}));
}

TEST_F(LibraryWindowTest, HeaderMenusActOnTheWindowAndTheStore)
{
    MainWindow& window = makeWindow();
    addItem(QStringLiteral("first"), 30);
    addItem(QStringLiteral("second"), 20);
    // Before the library's dialogs exist the menu offers nothing that would open one.
    std::unique_ptr<QMenu> bare(window.libraryMenus()->buildLibraryActionsMenu());
    EXPECT_EQ(describe(bare.get()), (QStringList{"Select All Visible", "(Clear Selection)"}));

    installLibrarySheets(window);
    store->setSelectedIDs({});
    std::unique_ptr<QMenu> actions(window.libraryMenus()->buildLibraryActionsMenu());
    EXPECT_EQ(describe(actions.get()),
              (QStringList{"Select All Visible", "(Clear Selection)", "-", "Clean Up Filenames\u2026", "-",
                           "Clear Library\u2026"}));
    actions->actions().first()->trigger();
    EXPECT_EQ(store->selectedIDs().size(), 2);

    const auto group = store->createGroup(QStringLiteral("Trip"));
    ASSERT_TRUE(group);
    std::unique_ptr<QMenu> browse(window.libraryMenus()->buildBrowseGroupsMenu());
    for (QAction* action : browse->actions()) {
        if (action->text() == QLatin1String("Trip"))
            action->trigger();
    }
    EXPECT_EQ(window.state().groupFilter(), VeskGroupFilter::group(group->id));
    EXPECT_EQ(window.libraryMenus()->browseGroupsButton()->toolTip(), "Browse Groups");
    EXPECT_EQ(window.libraryMenus()->libraryActionsButton()->toolTip(), "Library Actions");
}

TEST_F(LibraryWindowTest, MenuTextsShowTheirAmpersandsAsWritten)
{
    MainWindow& window = makeLibraryWindow();
    window.setSheetFactory(SheetFlag::PersonTimeline, [](MainWindow& owner) { return new QDialog(&owner); });
    const VeskItem item = addItem(QStringLiteral("first"), 30);
    store->select(item.id);
    ASSERT_TRUE(store->createGroup(QStringLiteral("Trips & Food")));
    ASSERT_TRUE(store->createGroup(QStringLiteral("R&D")));

    std::unique_ptr<QMenu> actions(window.libraryMenus()->buildLibraryActionsMenu());
    EXPECT_TRUE(shownTexts(actions.get()).contains(QStringLiteral("People Timeline & Photo Book\u2026")));

    std::unique_ptr<QMenu> browse(window.libraryMenus()->buildBrowseGroupsMenu());
    const QStringList groups = shownTexts(browse.get());
    for (const QString& expected : {QStringLiteral("R&D"), QStringLiteral("Trips & Food"),
                                    QStringLiteral("Manage Groups/Trips & Food"),
                                    QStringLiteral("Manage Groups/R&D/Rename\u2026")})
        EXPECT_TRUE(groups.contains(expected)) << expected.toStdString() << " in " << groups.join(" | ").toStdString();
}

// --- Rename prompt ---

TEST_F(LibraryWindowTest, RenamePromptSavesTheTrimmedTitleAndRefusesABlankOne)
{
    MainWindow& window = makeLibraryWindow();
    const VeskItem item = addItem(QStringLiteral("IMG_4031.jpg"), 30);
    window.state().setRenameItemTitle(QStringLiteral("Beach"));
    window.state().setPendingRenameItemID(item.id);
    auto* prompt = presented<NamePrompt>(window, SheetFlag::RenamePrompt);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->titleText(), "Rename Vesk");
    EXPECT_EQ(prompt->field()->text(), "Beach");
    EXPECT_EQ(prompt->field()->placeholderText(), "Name");

    prompt->field()->setText(QStringLiteral("   "));
    EXPECT_FALSE(prompt->confirmButton()->isEnabled());
    prompt->field()->setText(QStringLiteral("  Beach day\t"));
    EXPECT_TRUE(prompt->confirmButton()->isEnabled());
    prompt->confirmButton()->click();
    settle();
    EXPECT_EQ(store->items().first().title, "Beach day");
    EXPECT_FALSE(window.state().pendingRenameItemID());
    EXPECT_EQ(window.presentedSheet(SheetFlag::RenamePrompt), nullptr);

    // An item deleted while its prompt was open: nothing is saved and the prompt closes.
    window.state().setPendingRenameItemID(item.id);
    prompt = presented<NamePrompt>(window, SheetFlag::RenamePrompt);
    ASSERT_NE(prompt, nullptr);
    store->setSelectedIDs({item.id});
    store->deleteItems();
    drainWrites(*store);
    prompt->field()->setText(QStringLiteral("Ghost"));
    prompt->confirmButton()->click();
    settle();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(window.presentedSheet(SheetFlag::RenamePrompt), nullptr);
}

// --- Group prompts ---

TEST_F(LibraryWindowTest, NewGroupPromptCreatesTheGroupMovesTheItemAndResetsItsFields)
{
    MainWindow& window = makeLibraryWindow();
    const VeskItem item = addItem(QStringLiteral("Passport scan"), 30);
    MainWindowState& state = window.state();
    state.setNewGroupName(QString());
    state.setPendingGroupItemID(item.id);
    state.setShowingNewGroupPrompt(true);
    auto* prompt = presented<NamePrompt>(window, SheetFlag::NewGroupPrompt);
    ASSERT_NE(prompt, nullptr);
    EXPECT_FALSE(prompt->confirmButton()->isEnabled());
    QTest::keyClicks(prompt->field(), QStringLiteral(" Travel "));
    EXPECT_EQ(state.newGroupName(), " Travel ");
    prompt->confirmButton()->click();
    settle();

    ASSERT_EQ(store->groups().size(), 1);
    EXPECT_EQ(store->groups().first().name, "Travel");
    EXPECT_EQ(store->items().first().groupID, store->groups().first().id);
    ASSERT_TRUE(store->intakeNotice());
    EXPECT_EQ(store->intakeNotice()->title, "Moved");
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Passport scan \u2192 Travel"));
    EXPECT_TRUE(state.newGroupName().isEmpty());
    EXPECT_FALSE(state.pendingGroupItemID());
    EXPECT_FALSE(state.showingNewGroupPrompt());
    EXPECT_EQ(state.groupFilter(), VeskGroupFilter::all());

    // "Cancel" resets the fields; Escape only closes.
    state.setNewGroupName(QStringLiteral("Half typed"));
    state.setPendingGroupItemID(item.id);
    state.setShowingNewGroupPrompt(true);
    prompt = presented<NamePrompt>(window, SheetFlag::NewGroupPrompt);
    ASSERT_NE(prompt, nullptr);
    prompt->cancelButton()->click();
    settle();
    EXPECT_TRUE(state.newGroupName().isEmpty());
    EXPECT_FALSE(state.pendingGroupItemID());
    EXPECT_FALSE(state.showingNewGroupPrompt());
    EXPECT_EQ(store->groups().size(), 1);

    state.setNewGroupName(QStringLiteral("Kept text"));
    state.setShowingNewGroupPrompt(true);
    prompt = presented<NamePrompt>(window, SheetFlag::NewGroupPrompt);
    ASSERT_NE(prompt, nullptr);
    QTest::keyClick(prompt, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(state.showingNewGroupPrompt());
    EXPECT_EQ(state.newGroupName(), "Kept text");
}

TEST_F(LibraryWindowTest, RenameAndDeleteGroupPromptsFromTheMenu)
{
    MainWindow& window = makeLibraryWindow();
    VeskItem item = addItem(QStringLiteral("Ticket"), 30);
    const auto group = store->createGroup(QStringLiteral("Trip"));
    ASSERT_TRUE(group);
    item.groupID = group->id;
    ASSERT_TRUE(store->updateItem(item));
    MainWindowState& state = window.state();

    LibraryMenuEntry rename;
    rename.action = LibraryMenuAction::RenameGroup;
    rename.groupID = group->id;
    window.libraryMenus()->apply(rename);
    auto* prompt = presented<NamePrompt>(window, SheetFlag::RenameGroupPrompt);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->field()->text(), "Trip");
    prompt->cancelButton()->click();
    settle();
    EXPECT_FALSE(state.editingGroupID());
    EXPECT_TRUE(state.editingGroupName().isEmpty());

    window.libraryMenus()->apply(rename);
    prompt = presented<NamePrompt>(window, SheetFlag::RenameGroupPrompt);
    ASSERT_NE(prompt, nullptr);
    prompt->field()->setText(QStringLiteral("Lisbon"));
    prompt->confirmButton()->click();
    settle();
    EXPECT_EQ(store->groups().first().name, "Lisbon");
    EXPECT_FALSE(state.editingGroupID());

    // Deleting the group the window shows switches it to "No Group"; "Cancel" only forgets.
    state.setGroupFilter(VeskGroupFilter::group(group->id));
    LibraryMenuEntry remove;
    remove.action = LibraryMenuAction::DeleteGroup;
    remove.groupID = group->id;
    window.libraryMenus()->apply(remove);
    auto* confirm = presented<QMessageBox>(window, SheetFlag::DeleteGroupConfirmation);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->text(), "Delete this group?");
    buttonNamed(confirm, QStringLiteral("Cancel"))->click();
    settle();
    EXPECT_FALSE(state.pendingDeleteGroupID());
    EXPECT_FALSE(state.showingDeleteGroupConfirmation());
    EXPECT_EQ(store->groups().size(), 1);

    window.libraryMenus()->apply(remove);
    confirm = presented<QMessageBox>(window, SheetFlag::DeleteGroupConfirmation);
    ASSERT_NE(confirm, nullptr);
    buttonNamed(confirm, QStringLiteral("Delete Group"))->click();
    settle();
    EXPECT_TRUE(store->groups().isEmpty());
    EXPECT_FALSE(store->items().first().groupID);
    EXPECT_EQ(state.groupFilter(), VeskGroupFilter::ungrouped());
    EXPECT_FALSE(state.pendingDeleteGroupID());
}

// --- Delete and clear confirmations ---

TEST_F(LibraryWindowTest, DeleteConfirmationNamesTheSelectionAndCancelKeepsIt)
{
    MainWindow& window = makeLibraryWindow();
    const VeskItem a = addItem(QStringLiteral("a"), 30);
    const VeskItem b = addItem(QStringLiteral("b"), 20);
    addItem(QStringLiteral("c"), 10);
    store->setSelectedIDs({a.id, b.id});

    window.state().setShowingDeleteConfirmation(true);
    auto* confirm = presented<QMessageBox>(window, SheetFlag::DeleteConfirmation);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->text(), "Delete 2 Vesks?");
    buttonNamed(confirm, QStringLiteral("Cancel"))->click();
    settle();
    EXPECT_EQ(store->items().size(), 3);
    EXPECT_EQ(store->selectedIDs().size(), 2);
    EXPECT_FALSE(window.state().showingDeleteConfirmation());

    store->setSelectedIDs({a.id});
    window.state().setShowingDeleteConfirmation(true);
    confirm = presented<QMessageBox>(window, SheetFlag::DeleteConfirmation);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->text(), "Delete 1 Vesk?");
    buttonNamed(confirm, QStringLiteral("Delete"))->click();
    drainWrites(*store);
    EXPECT_EQ(titles(store->items()), (QStringList{"c", "b"}));
    EXPECT_TRUE(store->selectedIDs().isEmpty());

    window.state().setShowingClearLibraryConfirmation(true);
    confirm = presented<QMessageBox>(window, SheetFlag::ClearLibraryConfirmation);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->text(), "Clear the entire Vesk library?");
    buttonNamed(confirm, QStringLiteral("Clear Library"))->click();
    drainWrites(*store);
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(window.state().showingClearLibraryConfirmation());
}

TEST_F(LibraryWindowTest, ConfirmationsWearTheWindowsLookWithTheirTextsAndRoles)
{
    MainWindow& window = makeLibraryWindow();
    qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    addItem(QStringLiteral("a"), 30);
    const auto group = store->createGroup(QStringLiteral("Trips & Food"));
    ASSERT_TRUE(group);
    store->selectItems(store->items());
    window.state().setPendingDeleteGroupID(group->id);

    const struct {
        QMessageBox* box;
        QString title;
        QString destructive;
    } dialogs[] = {
        {makeDeleteConfirmation(*store), QStringLiteral("Delete 1 Vesk?"), QStringLiteral("Delete")},
        {makeClearLibraryConfirmation(*store), QStringLiteral("Clear the entire Vesk library?"),
         QStringLiteral("Clear Library")},
        {makeDeleteGroupConfirmation(*store, window.state()), QStringLiteral("Delete this group?"),
         QStringLiteral("Delete Group")},
    };
    const QColor background = Theme::current().colors().windowBackground;
    for (const auto& d : dialogs) {
        std::unique_ptr<QMessageBox> box(d.box);
        SCOPED_TRACE(d.title.toStdString());
        EXPECT_EQ(box->text(), d.title);
        EXPECT_EQ(box->windowTitle(), d.title);
        // No stock icon of the desktop: the symbol is Vesk's own.
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        QAbstractButton* destructive = buttonNamed(box.get(), d.destructive);
        ASSERT_NE(destructive, nullptr);
        EXPECT_EQ(box->buttonRole(destructive), QMessageBox::DestructiveRole);
        EXPECT_EQ(box->buttonRole(buttonNamed(box.get(), QStringLiteral("Cancel"))), QMessageBox::RejectRole);
        EXPECT_EQ(box->escapeButton(), buttonNamed(box.get(), QStringLiteral("Cancel")));

        box->show();
        settle();
        for (QAbstractButton* button : box->buttons())
            EXPECT_TRUE(button->icon().isNull()) << button->text().toStdString();
        const QImage image = box->grab().toImage();
        EXPECT_EQ(image.pixelColor(2, 2).rgb(), background.rgb());
        // The destructive button's text is written in the destructive colour, Cancel's is not.
        auto reddish = [&](QAbstractButton* button) {
            const QRect area(button->mapTo(box.get(), QPoint(0, 0)), button->size());
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    count += c.red() - std::max(c.green(), c.blue()) > 70;
                }
            return count;
        };
        EXPECT_GT(reddish(destructive), 10);
        EXPECT_EQ(reddish(buttonNamed(box.get(), QStringLiteral("Cancel"))), 0);
    }
    qApp->setStyleSheet(QString());
}

TEST_F(LibraryWindowTest, SheetsClosedWithTheWindowLeaveNoFlagSet)
{
    MainWindow& window = makeLibraryWindow();
    addItem(QStringLiteral("a"), 30);
    window.state().setShowingClearLibraryConfirmation(true);
    ASSERT_NE(presented<QMessageBox>(window, SheetFlag::ClearLibraryConfirmation), nullptr);
    window.close();
    settle();
    EXPECT_FALSE(window.state().showingClearLibraryConfirmation());
    EXPECT_EQ(store->items().size(), 1);
}

// --- Filename cleanup ---

TEST_F(LibraryWindowTest, CleanupSheetAppliesItsProposalsAndReportsTheCount)
{
    MainWindow& window = makeLibraryWindow();
    addItem(QStringLiteral("Notes"), 40, QStringLiteral("/nowhere/Notes.txt"));
    MainWindowState& state = window.state();

    // Nothing to clean up: the empty state, and "Apply Changes" cannot be pressed.
    openFilenameCleanup(*store, state);
    auto* sheet = presented<FilenameCleanupSheet>(window, SheetFlag::FilenameCleanup);
    ASSERT_NE(sheet, nullptr);
    EXPECT_NE(sheet->emptyState(), nullptr);
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    sheet->closeButton()->click();
    settle();
    EXPECT_FALSE(state.showingFilenameCleanup());

    addItem(QStringLiteral("DSC01234.jpg"), 30, QStringLiteral("/nowhere/DSC01234.jpg"));
    openFilenameCleanup(*store, state);
    sheet = presented<FilenameCleanupSheet>(window, SheetFlag::FilenameCleanup);
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(sheet->headline(), nullptr);
    EXPECT_EQ(sheet->headline()->text(), "1 title will change");
    EXPECT_EQ(sheet->list()->count(), 1);
    sheet->applyButton()->click();
    settle();
    EXPECT_FALSE(state.showingFilenameCleanup());
    EXPECT_TRUE(state.filenameCleanupCandidates().isEmpty());
    EXPECT_EQ(state.cleanupFinishedCount(), std::optional<int>(1));
    EXPECT_TRUE(store->items().first().title.startsWith(QStringLiteral("Photo")));

    QMessageBox* alert = window.findChild<CleanupCompletionAlert*>()->alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Filename Cleanup Complete");
    EXPECT_EQ(alert->informativeText(), "Updated 1 Vesk title.");
    buttonNamed(alert, QStringLiteral("OK"))->click();
    settle();
    EXPECT_FALSE(state.cleanupFinishedCount());
}
