#include "common/Fakes.h"
#include "common/TestEnvironment.h"
#include "media/VeskAudioPlayerController.h"
#include "pane/ActivityPieces.h"
#include "pane/ActivityTexts.h"
#include "pane/MediaPlayerViews.h"
#include "pane/VeskActivityPreview.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/WrappingText.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace vesk {
namespace {

void writePicture(const QString& path, QSize size)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(60, 120, 200));
    ASSERT_TRUE(image.save(path));
}

VeskItem packageItem(VeskKind kind, const std::optional<QString>& path)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = QStringLiteral("Package");
    item.filePath = path;
    item.createdAt = QDateTime::currentDateTimeUtc();
    return item;
}

// A player that never plays: no audio device is needed.
class SilentAudio : public AudioBackend {
public:
    void load(const QString&) override {}
    bool play() override { return false; }
    void pause() override {}
    bool isPlaying() const override { return false; }
    double currentTime() const override { return 0; }
    void setCurrentTime(double) override {}
    double duration() const override { return 0; }
    void setVolume(double) override {}
};

class PackagePreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = vesk::test::makeTempDirectory("preview");
        context.open = [this](const QUrl& url) { opened.append(url); };
        context.audioBackend = [] { return std::make_unique<SilentAudio>(); };
    }

    // The texts of the labels and wrapped texts of that name, in the order they were made.
    QStringList labelTexts(QWidget* root, const QString& name)
    {
        QStringList texts;
        for (QWidget* widget : root->findChildren<QWidget*>(name)) {
            if (auto* label = qobject_cast<QLabel*>(widget))
                texts.append(label->text());
            else if (auto* wrapped = qobject_cast<WrappingText*>(widget))
                texts.append(wrapped->text());
        }
        return texts;
    }

    QString folder;
    PreviewSectionContext context;
    QList<QUrl> opened;
};

TEST(ActivityTexts, DatesCountsAndNotes)
{
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    EXPECT_FALSE(manifestDateText(std::nullopt, locale));
    EXPECT_FALSE(manifestDateText(QStringLiteral("   "), locale));
    EXPECT_EQ(manifestDateText(QStringLiteral("yesterday morning"), locale), "yesterday morning");
    const QDateTime date(QDate(2025, 6, 1), QTime(8, 30), Qt::UTC);
    EXPECT_EQ(manifestDateText(QStringLiteral("2025-06-01T08:30:00Z"), locale), previewDateText(date, locale));
    EXPECT_EQ(manifestDateText(QStringLiteral("2025-06-01T08:30:00.250Z"), locale),
              previewDateText(date.addMSecs(250), locale));
    EXPECT_EQ(eventTimeText(QStringLiteral("2025-06-01T08:30:00Z"), locale),
              locale.toString(date.toLocalTime().time(), QStringLiteral("h:mm AP")));
    EXPECT_EQ(eventTimeText(QStringLiteral(" soon "), locale), " soon ");

    EXPECT_EQ(itemCountText(0), "0 items");
    EXPECT_EQ(itemCountText(1), "1 item");
    EXPECT_EQ(itemCountText(3), "3 items");

    VeskItem item = packageItem(VeskKind::Activity, std::nullopt);
    item.note = QStringLiteral("  own note \n");
    VeskActivityManifest manifest;
    manifest.summary = QStringLiteral("  Morning walk ");
    manifest.notes = QStringLiteral("Cold wind");
    EXPECT_EQ(notesText(manifest, item), "Morning walk\nCold wind");
    manifest.summary = QStringLiteral("  ");
    manifest.notes = QStringLiteral("\n");
    EXPECT_EQ(notesText(manifest, item), "own note");
    EXPECT_EQ(notesText(std::nullopt, item), "own note");
}

TEST(ActivityTexts, EventHeadersFollowTheKindInAnyCase)
{
    VeskActivityTimelineEvent event;
    event.kind = QStringLiteral("Photo");
    EXPECT_EQ(activityEventSymbolName(event.kind), "photo");
    EXPECT_EQ(activityEventTitle(event), "Photo");
    event.kind = QStringLiteral("workout session");
    EXPECT_EQ(activityEventSymbolName(event.kind), "circle.fill");
    EXPECT_EQ(activityEventTitle(event), "Workout Session");
    event.kind = QStringLiteral("file");
    event.text = QStringLiteral("   ");
    event.filePath = QStringLiteral("/p/media/track.m4a");
    EXPECT_EQ(activityEventSymbolName(event.kind), "doc");
    EXPECT_EQ(activityEventTitle(event), "track.m4a");
    event.filePath.reset();
    EXPECT_EQ(activityEventTitle(event), "File");
    event.text = QStringLiteral(" Report ");
    EXPECT_EQ(activityEventTitle(event), " Report ");

    EXPECT_TRUE(isAudioFilePath("a/b.M4A"));
    EXPECT_FALSE(isAudioFilePath("a/report.pdf"));
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(resourceDetailText("clip.mov", 12'300'000, 75, locale), "MOV \u00b7 1:15 \u00b7 12.3 MB");
    EXPECT_EQ(resourceDetailText("README", std::nullopt, std::nullopt, locale), "");
    EXPECT_EQ(dimensionsText(QSize(4032, 3024)), "4032 \u00d7 3024");
    EXPECT_EQ(dimensionsText(QSize(0, 10)), "");
}

TEST_F(PackagePreviewTest, PhotoNoteShowsItsTextAndTheDecodablePhotosItMayOpen)
{
    const QString package = folder + "/Walk.vesknote";
    writePicture(package + "/media/a.png", QSize(40, 30));
    vesk::test::writeFile(package + "/media/clip.mov", "not a picture");
    vesk::test::writeFile(package + "/note.json", R"({"schemaVersion":1,"kind":"note","text":"x",
        "attachments":["media/a.png","media/clip.mov","media/../../secret.png","media/missing.png"]})");
    VeskItem item = packageItem(VeskKind::Text, package);
    item.text = QStringLiteral("Lake at dawn");

    VeskPhotoNotePreview preview(item, context);
    QSignalSpy loaded(&preview, &VeskPhotoNotePreview::photosLoaded);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_EQ(preview.findChild<QLabel*>("photoNoteCount")->text(), "2") << "the movie counts, the rest do not";
    const QList<QWidget*> cards = preview.findChildren<QWidget*>("photoNoteCard");
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(labelTexts(&preview, "photoNoteName"), QStringList{"a.png"});
    EXPECT_FALSE(preview.findChild<QLabel*>("photoNoteNone"));
    preview.findChild<QPushButton*>("photoNoteOpen")->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(package + "/media/a.png").canonicalFilePath())});

    // A manifest of another kind: the text stays, nothing else opens.
    vesk::test::writeFile(package + "/note.json", R"({"schemaVersion":1,"kind":"Note","text":"x","attachments":["media/a.png"]})");
    VeskPhotoNotePreview wrongKind(item, context);
    QSignalSpy wrongLoaded(&wrongKind, &VeskPhotoNotePreview::photosLoaded);
    ASSERT_TRUE(wrongLoaded.wait(5000));
    EXPECT_EQ(wrongKind.findChild<QLabel*>("photoNoteCount")->text(), "0");
    EXPECT_TRUE(wrongKind.findChild<QLabel*>("photoNoteNone"));
    EXPECT_TRUE(wrongKind.findChildren<QWidget*>("photoNoteCard").isEmpty());
}

TEST_F(PackagePreviewTest, ActivityShowsItsMetadataAndEventsInOrderAndOpensOnlyWhatIsInside)
{
    const QString package = folder + "/Walk.veskactivity";
    writePicture(package + "/media/p.png", QSize(64, 48));
    vesk::test::writeFile(package + "/docs/report.pdf", "report");
    vesk::test::writeFile(package + "/media/clip.mov", "movie");
    vesk::test::writeFile(package + "/activity.json", R"({"activity_type":"walk","started_at":"2025-06-01T08:30:00.250Z",
        "ended_at":"  ","location_summary":"Lake","summary":" Morning walk ","events":[
        {"eventID":"e1","kind":"photo","createdAt":"2025-06-01T08:31:00Z","relativePath":"media/p.png"},
        {"eventID":"e2","kind":"note","createdAt":"later","text":"  cold  "},
        {"eventID":"e3","kind":"file","createdAt":"2025-06-01T08:40:00Z","relativePath":"docs/report.pdf"},
        {"eventID":"e4","kind":"file","createdAt":"2025-06-01T08:41:00Z","relativePath":"../../outside.pdf"},
        {"eventID":"e5","kind":"file","created_at":"2025-06-01T08:42:00Z","relative_path":"media/track.m4a"},
        {"eventID":"e6","kind":"Workout","createdAt":"2025-06-01T08:43:00Z","text":"10 km"},
        {"eventID":"e7","kind":"video","createdAt":"2025-06-01T08:44:00Z"}]})");
    vesk::test::writeFile(folder + "/outside.pdf", "secret");

    VeskActivityPreview preview(packageItem(VeskKind::Activity, package), context);
    EXPECT_FALSE(preview.packageLoaded());
    EXPECT_TRUE(preview.findChild<QWidget*>("activityLoading")->isVisibleTo(&preview));
    QSignalSpy loaded(&preview, &VeskActivityPreview::packageLoadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_FALSE(preview.findChild<QWidget*>("activityLoading")->isVisibleTo(&preview));

    QStringList values = labelTexts(&preview, "activityMetadataValue");
    ASSERT_EQ(values.size(), 4) << "a blank end hides Finished";
    EXPECT_EQ(values.at(0), "walk");
    EXPECT_EQ(values.at(2), "1 item") << "without a count, the photos of the media folder";
    EXPECT_EQ(values.at(3), "Lake");
    EXPECT_EQ(preview.findChild<WrappingText*>("activityNotesText")->text(), "Morning walk");

    QStringList ids;
    for (QWidget* row : preview.findChildren<QWidget*>("activityEventRow"))
        ids.append(row->property("eventID").toString());
    EXPECT_EQ(ids, (QStringList{"e1", "e2", "e3", "e4", "e5", "e6", "e7"}));
    EXPECT_EQ(labelTexts(&preview, "activityEventTitle"),
              (QStringList{"Photo", "Note", "report.pdf", "File", "track.m4a", "Workout", "Video"}));
    EXPECT_EQ(labelTexts(&preview, "activityEventTime").at(1), "later");
    EXPECT_FALSE(preview.findChild<QWidget*>("activityPhotoGrid")) << "a timeline is shown instead of the grid";

    // The event leading out of the package has no card; only the report can be opened.
    const QList<ActivityResourceCard*> cards = preview.findChildren<ActivityResourceCard*>();
    ASSERT_EQ(cards.size(), 1);
    cards.first()->openButton()->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(package + "/docs/report.pdf").canonicalFilePath())});
    EXPECT_EQ(preview.findChildren<VeskAudioPlayer*>().size(), 1) << "the missing track still gets its player";
    EXPECT_TRUE(preview.findChildren<ActivityDeferredVideoPlayer*>().isEmpty()) << "a video without a file";
    EXPECT_EQ(preview.findChildren<ActivityPhotoTile*>().size(), 1);

    preview.findChild<QPushButton*>("activityShowPackage")->click();
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(package));
}

TEST_F(PackagePreviewTest, WithoutAReadableManifestThePhotosOfTheMediaFolderAreShown)
{
    const QString package = folder + "/Photos.veskactivity";
    writePicture(package + "/media/one.png", QSize(4032 / 8, 3024 / 8));
    vesk::test::writeFile(package + "/activity.json", R"({"events":[{"event_id":"1","kind":"photo","createdAt":"c"}]})");
    VeskItem item = packageItem(VeskKind::Activity, package);
    item.note = QStringLiteral("kept note");

    VeskActivityPreview preview(item, context);
    preview.resize(420, 800);
    preview.show();
    QSignalSpy loaded(&preview, &VeskActivityPreview::packageLoadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_FALSE(preview.findChild<QWidget*>("activityMetadataCard"));
    EXPECT_FALSE(preview.findChild<QWidget*>("activityTimeline"));
    EXPECT_EQ(preview.findChild<WrappingText*>("activityNotesText")->text(), "kept note");
    EXPECT_EQ(labelTexts(&preview, "activityListTitle"), QStringList{"Photo"});
    EXPECT_EQ(labelTexts(&preview, "activityListCount"), QStringList{"1 item"});

    auto* tile = preview.findChild<ActivityPhotoTile*>();
    ASSERT_TRUE(tile);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tile->isLoading(); }, 5000));
    EXPECT_EQ(tile->dimensionsText(), "504 \u00d7 378");
    tile->click();
    EXPECT_EQ(opened.last().toLocalFile(), tile->path());

    // No package at all: no footer, nothing to load.
    VeskActivityPreview none(packageItem(VeskKind::Activity, std::nullopt), context);
    EXPECT_TRUE(none.packageLoaded());
    EXPECT_FALSE(none.findChild<QWidget*>("activityFooter"));
}

TEST_F(PackagePreviewTest, ContentKeepsItsInsetOnTheTrailingSideWhereTheScrollBarIs)
{
    const QString word = QStringLiteral("Lakeshore_trail_north_entrance_parking_lot_number_seven");
    const QString package = folder + "/Long.veskactivity";
    vesk::test::writeFile(package + "/docs/" + word + ".pdf", "report");
    vesk::test::writeFile(package + "/activity.json", QStringLiteral(R"({"locationSummary":"%1","summary":"%1",
        "events":[{"eventID":"1","kind":"note","createdAt":"%1","text":"%1"},
                  {"eventID":"2","kind":"file","createdAt":"%1","relativePath":"docs/%1.pdf"}]})").arg(word).toUtf8());
    for (const Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
        SCOPED_TRACE(direction == Qt::LeftToRight ? "left to right" : "right to left");
        QWidget column;
        column.setLayoutDirection(direction);
        auto* layout = new QVBoxLayout(&column);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* preview = new VeskActivityPreview(packageItem(VeskKind::Activity, package), context, &column);
        layout->addWidget(preview);
        layout->addStretch(1);
        column.resize(240, 1200);
        column.show();
        QSignalSpy loaded(preview, &VeskActivityPreview::packageLoadedChanged);
        ASSERT_TRUE(loaded.wait(5000));
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
        EXPECT_EQ(preview->width(), 240);
        for (QWidget* widget : preview->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(preview))
                continue;
            const QRect placed(widget->mapTo(preview, QPoint(0, 0)), widget->size());
            const int leading = direction == Qt::LeftToRight ? placed.left() : preview->width() - 1 - placed.right();
            const int trailing = direction == Qt::LeftToRight ? preview->width() - 1 - placed.right() : placed.left();
            EXPECT_GE(leading, 0) << widget->metaObject()->className() << " " << widget->objectName().toStdString();
            EXPECT_GE(trailing, VeskActivityPreview::kTrailingInset)
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }
}

TEST_F(PackagePreviewTest, TheVideoPlayerComesInOnlyAfterItsDelayAndNotWhenHiddenFirst)
{
    const QString clip = folder + "/clip.mov";
    vesk::test::writeFile(clip, "movie");
    auto timers = std::make_shared<test::FakeTimers>();
    ActivityDeferredVideoPlayer player(clip, nullptr, timers);
    QSignalSpy shown(&player, &ActivityDeferredVideoPlayer::playerShown);
    player.show();
    timers->advance(ActivityDeferredVideoPlayer::kDelayMs - 1);
    EXPECT_FALSE(player.player());
    EXPECT_TRUE(player.findChild<QWidget*>("activityVideoPlaceholder")->isVisible());
    timers->advance(1);
    EXPECT_EQ(shown.count(), 1);
    ASSERT_TRUE(player.player());
    EXPECT_FALSE(player.findChild<QWidget*>("activityVideoPlaceholder")->isVisible());

    // Gone from the screen before its time: no player is made.
    ActivityDeferredVideoPlayer skipped(clip, nullptr, timers);
    QSignalSpy skippedShown(&skipped, &ActivityDeferredVideoPlayer::playerShown);
    skipped.show();
    skipped.hide();
    timers->advance(ActivityDeferredVideoPlayer::kDelayMs * 2);
    EXPECT_EQ(skippedShown.count(), 0);
    EXPECT_FALSE(skipped.player());
}

} // namespace
} // namespace vesk
