#include "timelineview/TimelineEntryView.h"
#include "timelineview/VeskPersonTimelineView.h"
#include "timelineview/VeskTimelineEdgeScroller.h"

#include "common/TestEnvironment.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "platform/Uuid.h"
#include "timeline/VeskTimelineMediaCache.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace vesk {
namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    return QTest::qWaitFor(done, ms);
}

// A library of two people: Ann with three photographs and Bob with none left; real picture
// files, so a book can be written.
class TimelineView : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::makeTempDirectory();
        for (int i = 0; i < 3; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = QStringLiteral("Photo %1").arg(i + 1);
            item.kind = VeskKind::Image;
            item.createdAt = QDateTime(QDate(2025, 1, 1 + i), QTime(10, 0), Qt::UTC);
            item.filePath = folder + QStringLiteral("/photo-%1.png").arg(i + 1);
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i * 90, 200, 200));
            ASSERT_TRUE(image.save(*item.filePath));
            annPhotos.append(item);
        }
        media = std::make_shared<VeskTimelineMediaCache>([](const QString&, const QDateTime&, const QString&) {
            return std::optional<QDateTime>();
        });
    }

    std::unique_ptr<VeskPersonTimelineView> makeView()
    {
        VeskPersonTimelineView::Services services;
        services.sources.persons = [this] { return persons; };
        services.sources.photos = [this](const QUuid& id) {
            return id == ann.id ? annPhotos : QList<VeskItem>();
        };
        services.settings = settings;
        services.media = media;
        services.chooseDestination = [this](QWidget*, const QString& proposed) {
            proposedNames.append(proposed);
            return chosen;
        };
        services.revealFile = [this](const QString& path) { revealed.append(path); };
        auto view = std::make_unique<VeskPersonTimelineView>(std::move(services));
        view->refreshNow();
        return view;
    }

    QStringList titles(const VeskPersonTimelineView& view) const
    {
        QStringList out;
        for (TimelineEntryView* entry : view.entries())
            out.append(entry->photo().item.title);
        return out;
    }

    static void settle(VeskPersonTimelineView& view)
    {
        QCoreApplication::processEvents();
        view.refreshNow();
    }

    QString folder;
    TimelinePerson ann{QUuid::createUuid(), QStringLiteral("Ann Marie")};
    TimelinePerson bob{QUuid::createUuid(), QStringLiteral("Bob")};
    QList<TimelinePerson> persons{ann, bob};
    QList<VeskItem> annPhotos;
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<VeskTimelineMediaCache> media;
    std::optional<QString> chosen;
    QStringList proposedNames;
    QStringList revealed;
};

TEST_F(TimelineView, EmptyStatesAndWhatIsEnabled)
{
    persons.clear();
    auto view = makeView();
    EXPECT_EQ(view->emptyStateTitle(), QStringLiteral("No named people yet"));
    EXPECT_EQ(view->emptyStateDescription(), QStringLiteral("Open People and confirm photographs for a named person first."));
    EXPECT_EQ(view->personPicker()->count(), 0);
    EXPECT_FALSE(view->arrangeButton()->isEnabled());
    EXPECT_FALSE(view->exportButton()->isEnabled());
    EXPECT_FALSE(view->pasteAtEndButton()->isEnabled());
    EXPECT_EQ(view->countLabel()->text(), QStringLiteral("0 photos"));

    // A person without photographs.
    persons = {bob};
    view->refreshNow();
    EXPECT_EQ(view->emptyStateTitle(), QStringLiteral("No photos in this timeline"));
    EXPECT_EQ(view->emptyStateDescription(), QStringLiteral("Confirm faces in People to build this timeline."));
    EXPECT_TRUE(view->arrangeButton()->isEnabled());
    EXPECT_FALSE(view->exportButton()->isEnabled());

    // A person whose every photograph was removed from the timeline.
    persons = {ann, bob};
    view->refreshNow();
    EXPECT_EQ(view->personPicker()->currentText(), QStringLiteral("Ann Marie"));
    EXPECT_TRUE(view->emptyStateTitle().isEmpty());
    EXPECT_EQ(view->entries().size(), 3);
    EXPECT_TRUE(view->exportButton()->isEnabled());
    EXPECT_FALSE(view->restoreOrderAction()->isEnabled());
    EXPECT_FALSE(view->restoreRemovedAction()->isEnabled());
    for (const VeskItem& item : annPhotos)
        view->model().removeFromTimeline(item.id);
    settle(*view);
    EXPECT_EQ(view->emptyStateTitle(), QStringLiteral("No photos in this timeline"));
    EXPECT_EQ(view->emptyStateDescription(), QStringLiteral("Use Arrange → Restore Removed Photos to show them again."));
    EXPECT_EQ(view->restoreRemovedAction()->text(), QStringLiteral("Restore Removed Photos (3)"));
    EXPECT_TRUE(view->restoreRemovedAction()->isEnabled());
    EXPECT_FALSE(view->exportButton()->isEnabled());
    view->restoreRemovedAction()->trigger();
    settle(*view);
    EXPECT_EQ(view->entries().size(), 3);

    // Picking Bob shows Bob.
    view->personPicker()->setCurrentIndex(1);
    settle(*view);
    EXPECT_EQ(view->model().selectedPerson()->id, bob.id);
    EXPECT_EQ(view->emptyStateTitle(), QStringLiteral("No photos in this timeline"));
}

TEST_F(TimelineView, EntriesTheirMenuAndPasting)
{
    auto view = makeView();
    ASSERT_EQ(titles(*view), (QStringList{"Photo 1", "Photo 2", "Photo 3"}));
    TimelineEntryView* second = view->entries().at(1);
    EXPECT_EQ(second->dateText(), QStringLiteral("Date unknown"));
    EXPECT_TRUE(second->importedText().startsWith(QStringLiteral("Imported ")));

    std::unique_ptr<QMenu> menu(second->makeContextMenu(nullptr));
    QStringList labels;
    for (QAction* action : menu->actions())
        labels.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    EXPECT_EQ(labels, (QStringList{"Cut", "Copy", "Paste Before", "|", "Remove from Timeline"}));
    EXPECT_FALSE(menu->actions().at(2)->isEnabled());

    // Copy, then paste at the end twice: the paste controls stay on after a copy.
    menu->actions().at(1)->trigger();
    settle(*view);
    EXPECT_TRUE(view->pasteAtEndButton()->isEnabled());
    view->pasteAtEndButton()->click();
    settle(*view);
    view->pasteAtEndButton()->click();
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 1", "Photo 2", "Photo 3", "Photo 2", "Photo 2"}));
    EXPECT_EQ(view->countLabel()->text(), QStringLiteral("5 photos"));
    EXPECT_TRUE(view->pasteAtEndButton()->isEnabled());
    EXPECT_TRUE(view->restoreOrderAction()->isEnabled());

    // Cut the first and paste it before the last: then nothing is left to paste.
    std::unique_ptr<QMenu> firstMenu(view->entries().first()->makeContextMenu(nullptr));
    firstMenu->actions().at(0)->trigger();
    settle(*view);
    std::unique_ptr<QMenu> lastMenu(view->entries().last()->makeContextMenu(nullptr));
    ASSERT_TRUE(lastMenu->actions().at(2)->isEnabled());
    lastMenu->actions().at(2)->trigger();
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 2", "Photo 3", "Photo 2", "Photo 1", "Photo 2"}));
    EXPECT_FALSE(view->pasteAtEndButton()->isEnabled());

    // "Remove" on an entry takes it out of this timeline only.
    view->entries().at(1)->findChild<QPushButton*>()->click();
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 2", "Photo 2", "Photo 1", "Photo 2"}));
    EXPECT_EQ(view->restoreRemovedAction()->text(), QStringLiteral("Restore Removed Photos (1)"));
}

TEST_F(TimelineView, DropsMoveEntriesAndAnEndedDragLeavesNothingBehind)
{
    auto view = makeView();
    auto identity = [&](int index) { return view->entries().at(index)->identity(); };
    const QUuid first = identity(0);
    const QUuid third = identity(2);

    // A drag of this timeline dropped on an entry: just before it; over itself no marker shows.
    QMimeData payload;
    payload.setText(uuidString(third));
    view->beginTimelineDrag(view->entries().at(2)->photo());
    EXPECT_TRUE(view->edgeScroller().isRunning());
    view->hoverEntry(third, true);
    EXPECT_FALSE(view->entries().at(2)->markerShown());
    view->hoverEntry(first, true);
    EXPECT_TRUE(view->entries().at(0)->markerShown());
    EXPECT_TRUE(view->handleTimelineDrop(&payload, first));
    EXPECT_FALSE(view->edgeScroller().isRunning());
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 3", "Photo 1", "Photo 2"}));
    EXPECT_FALSE(view->entries().at(1)->markerShown());

    // A drag that ends outside the timeline is forgotten: a later text drop from elsewhere moves
    // the entry it names, not the one dragged before.
    view->beginTimelineDrag(view->entries().at(0)->photo());
    view->endTimelineDrag();
    EXPECT_FALSE(view->dragState().dragging.has_value());
    QMimeData fromElsewhere;
    fromElsewhere.setText(uuidString(first));
    EXPECT_TRUE(view->handleTimelineDrop(&fromElsewhere, std::nullopt));
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 3", "Photo 2", "Photo 1"}));

    // Other text is taken and changes nothing; a drop without text is refused.
    QMimeData words;
    words.setText(QStringLiteral("a holiday"));
    EXPECT_TRUE(view->handleTimelineDrop(&words, first));
    QMimeData empty;
    EXPECT_FALSE(view->handleTimelineDrop(&empty, first));
    settle(*view);
    EXPECT_EQ(titles(*view), (QStringList{"Photo 3", "Photo 2", "Photo 1"}));

    // Closing the sheet during a drag stops the auto-scroll.
    view->show();
    view->beginTimelineDrag(view->entries().at(0)->photo());
    view->hide();
    EXPECT_FALSE(view->edgeScroller().isRunning());
    EXPECT_FALSE(view->dragState().dragging.has_value());
}

TEST_F(TimelineView, ExportAsksWhereThenWritesAndShowsTheResult)
{
    auto view = makeView();
    // Cancelled: nothing happens.
    view->exportButton()->click();
    EXPECT_EQ(proposedNames, QStringList{QStringLiteral("Ann Marie - Through the Years.pdf")});
    EXPECT_FALSE(view->exportFlow().exporting());
    EXPECT_EQ(view->exportFlow().statusSheet(), nullptr);

    chosen = folder + QStringLiteral("/book.pdf");
    view->exportButton()->click();
    EXPECT_TRUE(view->exportFlow().exporting());
    settle(*view);
    EXPECT_FALSE(view->exportButton()->isEnabled());
    QDialog* status = view->exportFlow().statusSheet();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    // It cannot be dismissed while the book is written.
    status->reject();
    EXPECT_TRUE(status->isVisible() || view->exportFlow().completedPath().has_value());

    ASSERT_TRUE(waitFor([&] { return !view->exportFlow().exporting(); }));
    settle(*view);
    EXPECT_EQ(view->exportFlow().completedPath(), chosen);
    EXPECT_TRUE(QFile::exists(*chosen));
    EXPECT_TRUE(view->exportButton()->isEnabled());
    QStringList texts;
    for (QLabel* label : status->findChildren<QLabel*>()) {
        if (label->isVisibleTo(status))
            texts.append(label->text());
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("PDF created")));
    EXPECT_TRUE(texts.contains(QStringLiteral("book.pdf")));

    QPushButton* show = nullptr;
    for (QPushButton* button : status->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Show in Folder"))
            show = button;
    }
    ASSERT_NE(show, nullptr);
    show->click();
    EXPECT_EQ(revealed, QStringList{*chosen});
    EXPECT_FALSE(status->isVisible());
}

TEST_F(TimelineView, AFailedExportSaysWhyAndAClosedWindowOnlyLogs)
{
    QStringList logged;
    setVeskLogCapture([&](const QString& line) { logged.append(line); });
    auto view = makeView();
    chosen = folder + QStringLiteral("/missing-folder/book.pdf");
    view->exportButton()->click();
    ASSERT_TRUE(waitFor([&] { return !view->exportFlow().exporting(); }));
    QMessageBox* alert = view->exportFlow().alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("Could not export photo book"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("The PDF destination could not be opened."));
    EXPECT_FALSE(view->exportFlow().statusSheet() && view->exportFlow().statusSheet()->isVisible());
    alert->buttons().first()->click();
    settle(*view);
    EXPECT_TRUE(view->exportButton()->isEnabled());

    // The window goes away while the book is written: the file is still written and the outcome
    // is only logged.
    chosen = folder + QStringLiteral("/after-close.pdf");
    view->exportButton()->click();
    view.reset();
    ASSERT_TRUE(waitFor([&] {
        return !logged.filter(QStringLiteral("Vesk photo book finished after its timeline closed for ")).isEmpty();
    }));
    EXPECT_TRUE(QFile::exists(*chosen));
    setVeskLogCapture({});
}

// Removing or restoring a photo rebuilds the list; it stays where the user was, with the changed
// place in view, wherever focus was (the pressed button goes with its entry).
TEST_F(TimelineView, RemovingAndRestoringKeepTheListWhereItWas)
{
    for (int i = 3; i < 12; ++i) {
        VeskItem item = annPhotos.first();
        item.id = QUuid::createUuid();
        item.title = QStringLiteral("Photo %1").arg(i + 1);
        item.createdAt = item.createdAt.addDays(i);
        annPhotos.append(item);
    }
    auto view = makeView();
    view->resize(640, 600);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    auto* scroll = view->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    auto settled = [&] {
        settle(*view);
        QCoreApplication::processEvents();
        return scroll->verticalScrollBar()->value();
    };
    ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0) << "the list is longer than its view";
    // The first entry with the list at its top, and later ones scrolled to.
    for (const int entry : {0, 1, 3, 6}) {
        scroll->verticalScrollBar()->setValue(entry == 0 ? 0 : view->entries().at(entry)->y() - 10);
        const int before = settled();
        auto* remove = view->entries().at(entry)->findChild<QPushButton*>();
        remove->setFocus(Qt::MouseFocusReason);
        remove->click();
        EXPECT_EQ(settled(), before) << "Remove on entry " << entry;
        view->restoreRemovedAction()->trigger();
        EXPECT_EQ(settled(), before) << "Restore after entry " << entry;
        const QRect shown = view->entries().at(entry)->geometry().translated(0, -before);
        EXPECT_TRUE(shown.intersects(scroll->viewport()->rect())) << "the restored entry " << entry << " is in view";
    }
}

TEST_F(TimelineView, EditsSurviveReopeningAndPersonsStayApart)
{
    {
        auto view = makeView();
        view->show();
        view->model().moveOccurrence(view->entries().at(0)->identity(), std::nullopt, ann.id);
        settle(*view);
        EXPECT_EQ(titles(*view), (QStringList{"Photo 2", "Photo 3", "Photo 1"}));
    }
    auto reopened = makeView();
    reopened->show();
    settle(*reopened);
    EXPECT_EQ(titles(*reopened), (QStringList{"Photo 2", "Photo 3", "Photo 1"}));
    EXPECT_TRUE(reopened->restoreOrderAction()->isEnabled());
}

} // namespace
} // namespace vesk
