// The People window over a store on a temporary library, offscreen.
#include "common/FaceStoreFixture.h"
#include "people/FaceTile.h"
#include "people/PeopleParts.h"
#include "people/PeopleWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <functional>

namespace vesk::test {
namespace {

class PeopleWindow : public FaceStoreTest {
protected:
    // One photo holding `unassigned` faces with no pool and, when named, one face of that person;
    // every unassigned print leans towards the person's by `similarity`.
    void seedLibrary(int unassigned, std::optional<QString> person = std::nullopt, double similarity = 0.9)
    {
        photo = pictureItem(QStringLiteral("party"), 1, QSize(400, 400));
        seed({photo});
        auto db = openDatabase();
        QList<VeskFaceRecord> faces;
        if (person) {
            pool = VeskFaceClusterRecord{QUuid::createUuid(), *person, clock->now(), clock->now()};
            ASSERT_TRUE(db->upsertFaceCluster(pool).hasValue());
            faces.append(face(photo.id, 0, pool.id, {1.0, 0.0}));
        }
        const double other = std::sqrt(1 - similarity * similarity);
        for (int i = 0; i < unassigned; ++i) {
            // Later faces a little less similar, so the order is known.
            const double s = similarity - 0.001 * i;
            faces.append(face(photo.id, i + 1, std::nullopt, {s, std::sqrt(1 - s * s)}));
            faces.last().createdAt = QDateTime::fromSecsSinceEpoch(2000 + i, Qt::UTC);
        }
        Q_UNUSED(other);
        ASSERT_TRUE(db->replaceFaces(photo.id, faces).hasValue());
        stored = faces;
    }

    template <typename T = QWidget>
    static QList<T*> named(const QWidget& window, const char* name)
    {
        return window.findChildren<T*>(QString::fromLatin1(name));
    }
    static QList<qlonglong> counts(const QWidget& window)
    {
        QList<qlonglong> values;
        for (CountTile* tile : window.findChildren<CountTile*>())
            values.append(tile->value());
        return values;
    }
    // Rebuilds and their suggestions, which the store works out on a worker.
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QApplication::processEvents();
        // Taken first: waiting runs the event loop, which deletes replaced widgets.
        QList<QPointer<VeskFaceClusterInspector>> windows;
        for (QWidget* widget : QApplication::allWidgets()) {
            if (auto* window = qobject_cast<VeskFaceClusterInspector*>(widget))
                windows.append(window);
        }
        for (const QPointer<VeskFaceClusterInspector>& window : windows)
            ASSERT_TRUE(QTest::qWaitFor([&window] { return !window || !window->suggestionsPending(); }, 5000));
        QApplication::processEvents();
    }

    VeskItem photo;
    VeskFaceClusterRecord pool;
    QList<VeskFaceRecord> stored;
};

TEST_F(PeopleWindow, AnEmptyLibraryShowsItsEmptyTextsAndZeroCounts)
{
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    EXPECT_EQ(counts(window), (QList<qlonglong>{0, 0, 0, 0}));
    EXPECT_EQ(named(window, "knownPeopleEmpty").size(), 1);
    EXPECT_EQ(named(window, "unassignedEmpty").size(), 1);
    EXPECT_TRUE(named(window, "personCard").isEmpty());
    EXPECT_EQ(named<QLabel>(window, "unassignedCount").first()->text(), QStringLiteral("0"));
}

TEST_F(PeopleWindow, ThirteenQualifyingFacesShowTwelveRowsAndConfirmAllTakesExactlyThose)
{
    seedLibrary(13, QStringLiteral("Ana"));
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    ASSERT_EQ(named(window, "personCard").size(), 1);
    const QList<QWidget*> rows = named(window, "suggestionRow");
    ASSERT_EQ(rows.size(), 12);
    QPushButton* all = named<QPushButton>(window, "confirmAllButton").first();
    EXPECT_EQ(all->text(), QStringLiteral("Confirm All as Ana"));
    EXPECT_EQ(all->toolTip(), QStringLiteral("Confirm all 12 visible suggestions as Ana"));
    EXPECT_EQ(counts(window), (QList<qlonglong>{14, 1, 13, 1}));

    all->click();
    settle();
    // The twelve most similar are Ana's now; the thirteenth is still unassigned.
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(store->faceRecordsCache()[i].clusterID, pool.id) << i;
    EXPECT_FALSE(store->faceRecordsCache()[13].clusterID);
    EXPECT_EQ(counts(window), (QList<qlonglong>{14, 13, 1, 1}));
    EXPECT_EQ(named(window, "suggestionRow").size(), 1);
    EXPECT_EQ(named<QLabel>(window, "unassignedCount").first()->text(), QStringLiteral("1"));
}

TEST_F(PeopleWindow, SuggestionRowsConfirmOrRejectForTheirPool)
{
    seedLibrary(2, QStringLiteral("Ana"), 0.8);
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    ASSERT_EQ(named(window, "suggestionRow").size(), 2);
    QList<QLabel*> labels = named(window, "suggestionRow").first()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return l->text() == QStringLiteral("Similarity 0.800"); }));
    EXPECT_EQ(named<QPushButton>(window, "notButton").first()->text(), QStringLiteral("Not Ana"));

    named<QPushButton>(window, "notButton").first()->click();
    settle();
    EXPECT_EQ(store->faceRejectionsCache().size(), 1);
    ASSERT_EQ(named(window, "suggestionRow").size(), 1);
    named<QPushButton>(window, "yesButton").first()->click();
    settle();
    EXPECT_EQ(store->faceRecordsCache()[2].clusterID, pool.id);
    EXPECT_EQ(named<QLabel>(window, "noSuggestions").size(), 1);
    EXPECT_TRUE(named(window, "confirmAllButton").isEmpty());
}

TEST_F(PeopleWindow, ADecisionTheLibraryRefusesIsSaidInTheWindowAndChangesNothing)
{
    seedLibrary(2, QStringLiteral("Ana"), 0.8);
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    window.show();
    const auto click = [&](const char* button) {
        return [&window, button] { named<QPushButton>(window, button).first()->click(); };
    };
    const struct {
        const char* name;
        std::function<void()> act;
        QString title;
        QString detail;
    } cases[] = {
        {"yes", click("yesButton"), QStringLiteral("Face not confirmed"),
         QStringLiteral("The face was not added to \u201CAna\u201D: not authorized.")},
        {"confirm all", click("confirmAllButton"), QStringLiteral("Faces not confirmed"),
         QStringLiteral("2 faces were not added to \u201CAna\u201D: not authorized.")},
        {"not", click("notButton"), QStringLiteral("Face not rejected"),
         QStringLiteral("The face is still suggested for \u201CAna\u201D: not authorized.")},
        {"rename", [&] {
             window.beginRename(pool.id, QStringLiteral("Ana"));
             window.renameDialog()->field()->setText(QStringLiteral("Anna"));
             window.renameDialog()->confirmButton()->click();
         },
         QStringLiteral("Person not renamed"), QStringLiteral("\u201CAna\u201D was not renamed: not authorized.")},
    };
    refuseWrites(*store, {"vesk_faces", "vesk_face_rejections", "vesk_face_clusters"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        settle();
        ASSERT_TRUE(window.failureAlert());
        EXPECT_EQ(window.failureAlert()->text(), c.title);
        EXPECT_EQ(window.failureAlert()->informativeText().toStdString(), c.detail.toStdString());
        EXPECT_FALSE(store->failureNotice()) << "said in the window, not again behind it";
        window.failureAlert()->close();
        settle();
        EXPECT_EQ(named(window, "suggestionRow").size(), 2);
        EXPECT_EQ(store->personPoolSummaries().first().name, QStringLiteral("Ana"));
    }
    refuseWrites(*store, {});
    store = makeStore();
    EXPECT_EQ(store->faceStatistics().confirmed, 1);
    EXPECT_TRUE(store->faceRejectionsCache().isEmpty());
}

TEST_F(PeopleWindow, FiftyUnassignedFacesShowFortyEightTilesUnderTheirFullCount)
{
    seedLibrary(50);
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    window.resize(900, 760);
    window.show();
    settle();
    EXPECT_EQ(named(window, "unassignedTile").size(), 48);
    EXPECT_EQ(named<QLabel>(window, "unassignedCount").first()->text(), QStringLiteral("50"));
    auto* grid = named<AdaptiveGrid>(window, "unassignedGrid").first();
    const QList<QWidget*> tiles = named(window, "unassignedTile");
    EXPECT_EQ(grid->columnCount(), (grid->width() + 12) / (std::max(120, tiles.first()->width()) + 12));
    // No two tiles overlap.
    for (qsizetype i = 1; i < tiles.size(); ++i)
        EXPECT_FALSE(tiles[i]->geometry().intersects(tiles[i - 1]->geometry())) << i;

    // "Ignore" takes a face out; the next one moves into view.
    named<QPushButton>(window, "ignoreButton").first()->click();
    settle();
    EXPECT_EQ(named<QLabel>(window, "unassignedCount").first()->text(), QStringLiteral("49"));
    EXPECT_EQ(named(window, "unassignedTile").size(), 48);
}

TEST_F(PeopleWindow, NamingAFaceUsesATrimmedNameAndStartsEmptyEachTime)
{
    seedLibrary(2);
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    window.show();
    named<QPushButton>(window, "nameButton").first()->click();
    PeoplePrompt* prompt = window.namingDialog();
    ASSERT_TRUE(prompt);
    EXPECT_TRUE(prompt->field()->text().isEmpty());
    EXPECT_FALSE(prompt->confirmButton()->isEnabled());
    prompt->field()->setText(QStringLiteral("   "));
    EXPECT_FALSE(prompt->confirmButton()->isEnabled());
    prompt->field()->setText(QStringLiteral("  Grace "));
    EXPECT_TRUE(prompt->confirmButton()->isEnabled());
    const QUuid named0 = *window.namingFaceID();
    prompt->confirmButton()->click();
    settle();
    EXPECT_FALSE(window.namingFaceID());
    ASSERT_EQ(store->personPoolSummaries().size(), 1);
    EXPECT_EQ(store->personPoolSummaries().first().name, QStringLiteral("Grace"));
    EXPECT_EQ(store->personPoolSummaries().first().representativeFaceID, named0);
    EXPECT_EQ(named(window, "personCard").size(), 1);

    // A second "Name…" starts empty; Cancel changes nothing.
    named<QPushButton>(window, "nameButton").first()->click();
    ASSERT_TRUE(window.namingDialog());
    EXPECT_TRUE(window.namingDialog()->field()->text().isEmpty());
    window.namingDialog()->cancelButton()->click();
    settle();
    EXPECT_FALSE(window.namingFaceID());
    EXPECT_EQ(store->faceStatistics().confirmed, 1);
}

TEST_F(PeopleWindow, RenamingOntoAnotherPersonsNameOffersAMerge)
{
    seedLibrary(3);
    auto store = makeStore();
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Ana"), stored[0].id));
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Ana"), stored[1].id));
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Bo"), stored[2].id));
    const QUuid ana = store->faceClustersCache()[0].id;
    const QUuid bo = store->faceClustersCache()[1].id;
    VeskFaceClusterInspector window(*store);
    settle();
    window.show();
    EXPECT_TRUE(named(window, "mergeButton").isEmpty());

    // "Rename…" on Bo, typed " ana ": the merge dialog, no rename.
    named<QPushButton>(window, "renameButton")[1]->click();
    ASSERT_TRUE(window.renameDialog());
    EXPECT_EQ(window.renameDialog()->field()->text(), QStringLiteral("Bo"));
    window.renameDialog()->field()->setText(QStringLiteral(" ana "));
    window.renameDialog()->confirmButton()->click();
    settle();
    ASSERT_TRUE(window.mergeDialog());
    EXPECT_EQ(window.mergeDialog()->windowTitle(), QStringLiteral("Ana already exists"));
    EXPECT_EQ(window.pendingRenameMergeSourceID(), bo);
    EXPECT_EQ(window.pendingRenameMergeTargetID(), ana);
    EXPECT_FALSE(window.renamingPoolID());
    // Cancel leaves both pools and names.
    window.mergeDialog()->reject();
    settle();
    EXPECT_FALSE(window.pendingRenameMergeSourceID());
    EXPECT_EQ(store->personPoolSummaries().size(), 2);

    // Again, merging this time: Bo's face joins Ana, which keeps its name.
    named<QPushButton>(window, "renameButton")[1]->click();
    window.renameDialog()->field()->setText(QStringLiteral("ANA"));
    window.renameDialog()->confirmButton()->click();
    settle();
    window.mergeDialog()->findChild<QPushButton*>(QStringLiteral("confirmMergeButton"))->click();
    settle();
    ASSERT_EQ(store->personPoolSummaries().size(), 1);
    EXPECT_EQ(store->personPoolSummaries().first().name, QStringLiteral("Ana"));
    EXPECT_EQ(store->personPoolSummaries().first().faceCount, 3);

    // A change of case of the own name is a plain rename.
    named<QPushButton>(window, "renameButton").first()->click();
    window.renameDialog()->field()->setText(QStringLiteral("ANA"));
    window.renameDialog()->confirmButton()->click();
    settle();
    EXPECT_FALSE(window.mergeDialog());
    EXPECT_EQ(store->personPoolSummaries().first().name, QStringLiteral("ANA"));
}

TEST_F(PeopleWindow, TheSmallerOfTwoSameNamePoolsOffersTheMerge)
{
    seedLibrary(3);
    auto store = makeStore();
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Ana"), stored[0].id));
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Ana"), stored[1].id));
    // A second pool of the same name in another case (renaming does not stop it).
    ASSERT_TRUE(store->createPersonPool(QStringLiteral("Zed"), stored[2].id));
    const QUuid zed = store->faceClustersCache()[1].id;
    ASSERT_TRUE(store->renamePersonPool(zed, QStringLiteral("ana")));
    VeskFaceClusterInspector window(*store);
    settle();
    const QList<QPushButton*> merges = named<QPushButton>(window, "mergeButton");
    ASSERT_EQ(merges.size(), 1);
    EXPECT_EQ(merges.first()->text(), QStringLiteral("Merge into Ana"));
    merges.first()->click();
    settle();
    EXPECT_EQ(store->personPoolSummaries().size(), 1);
    EXPECT_TRUE(named(window, "mergeButton").isEmpty());
}

TEST_F(PeopleWindow, EscapeClosesTheWindowAndPreviewsArriveWithoutAsking)
{
    seedLibrary(1, QStringLiteral("Ana"));
    auto store = makeStore();
    VeskFaceClusterInspector window(*store);
    settle();
    window.show();
    settle();
    const QList<FaceTile*> tiles = window.findChildren<FaceTile*>();
    ASSERT_FALSE(tiles.isEmpty());
    // Cut on a worker; the tiles repaint when the previews come.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(tiles.begin(), tiles.end(), [](FaceTile* tile) { return tile->showsPreview(); });
    }, 5000));

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace vesk::test
