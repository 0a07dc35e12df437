#include "common/StoreFixture.h"
#include "media/VeskAudioPlayerController.h"
#include "pane/ActivityPieces.h"
#include "pane/MediaPlayerViews.h"
#include "pane/VeskActivityPreview.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/VeskPreview.h"
#include "pane/WrappingText.h"

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace vesk::test {
namespace {

// The file decodes, but there is nothing to play it on: the player's longest line.
class NoOutputAudio : public AudioBackend {
public:
    void load(const QString&) override
    {
        QMetaObject::invokeMethod(this, [this] { emit noSoundOutput(); }, Qt::QueuedConnection);
    }
    bool play() override { return false; }
    void pause() override {}
    bool isPlaying() const override { return false; }
    double currentTime() const override { return 0; }
    void setCurrentTime(double) override {}
    double duration() const override { return 0; }
    void setVolume(double) override {}
};

const QString kPlace = QStringLiteral("Lakeshore_trail_north_entrance_parking_lot_number_seven");
const QString kRecording = QStringLiteral("interview_recording_with_the_regional_manager_final_take_two.mp3");

class PaneColumnFitTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        store = makeStore();
    }
    void TearDown() override
    {
        store.reset();
        StoreFixture::TearDown();
    }

    QString stored(const QString& name, const QByteArray& bytes = "x")
    {
        return writeFile(dataDir + QStringLiteral("/Items/") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                             + QLatin1Char('/') + name,
                         bytes);
    }

    static void writePicture(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QImage image(QSize(64, 48), QImage::Format_RGB32);
        image.fill(QColor(60, 120, 200));
        ASSERT_TRUE(image.save(path));
    }

    QString activityPackage()
    {
        const QString package = dataDir + QStringLiteral("/Items/walk/") + kPlace + QStringLiteral(".veskactivity");
        const QString photo = kPlace + QStringLiteral("_photo_taken_at_the_far_end.png");
        writePicture(package + QStringLiteral("/media/") + photo);
        writeFile(package + QStringLiteral("/media/") + kRecording, "not really sound");
        writeFile(package + QStringLiteral("/docs/") + kPlace + QStringLiteral(".pdf"), "report");
        writeFile(package + QStringLiteral("/docs/report.") + kPlace, "odd extension");
        writeFile(package + QStringLiteral("/activity.json"), QStringLiteral(R"({
            "activityType": "%1", "startedAt": "%1", "locationSummary": "%1", "summary": "%1", "notes": "%1",
            "events": [
              {"eventID": "1", "kind": "photo", "createdAt": "%1", "relativePath": "media/%2"},
              {"eventID": "2", "kind": "note", "createdAt": "2025-06-01T08:30:00Z", "text": "%1"},
              {"eventID": "3", "kind": "file", "createdAt": "2025-06-01T08:31:00Z", "relativePath": "media/%3"},
              {"eventID": "4", "kind": "file", "createdAt": "2025-06-01T08:32:00Z", "relativePath": "docs/%1.pdf"},
              {"eventID": "5", "kind": "file", "createdAt": "2025-06-01T08:33:00Z", "relativePath": "docs/report.%1"},
              {"eventID": "6", "kind": "%1", "createdAt": "2025-06-01T08:34:00Z", "text": "%1"}
            ]})").arg(kPlace, photo, kRecording).toUtf8());
        return package;
    }

    QString photoNotePackage()
    {
        const QString package = dataDir + QStringLiteral("/Items/note/") + kPlace + QStringLiteral(".vesknote");
        writePicture(package + QStringLiteral("/media/") + kPlace + QStringLiteral(".png"));
        writeFile(package + QStringLiteral("/note.json"),
                  QStringLiteral(R"({"schemaVersion":1,"kind":"note","text":"%1","attachments":["media/%1.png"]})")
                      .arg(kPlace).toUtf8());
        return package;
    }

    // What the pane will draw has arrived: the activity's package and its cards' detail lines,
    // the photo note's photos, the audio player's verdict.
    static bool settled(QWidget* content)
    {
        for (auto* activity : content->findChildren<VeskActivityPreview*>()) {
            if (!activity->packageLoaded())
                return false;
        }
        for (auto* card : content->findChildren<ActivityResourceCard*>()) {
            auto* detail = card->findChild<QLabel*>(QStringLiteral("activityResourceDetail"));
            if (!detail || !detail->isVisibleTo(card))
                return false;
        }
        for (auto* tile : content->findChildren<ActivityPhotoTile*>()) {
            if (tile->isVisibleTo(content) && tile->isLoading())
                return false;
        }
        for (auto* note : content->findChildren<VeskPhotoNotePreview*>()) {
            if (!note->findChild<QWidget*>(QStringLiteral("photoNoteCard")))
                return false;
        }
        for (auto* player : content->findChildren<VeskAudioPlayer*>()) {
            if (!player->errorRow()->isVisibleTo(player))
                return false;
        }
        return true;
    }

    std::unique_ptr<VeskStore> store;
};

// The widgets the pane's own scroll area shows: those inside a scroll area of their own (the
// tag strip) scroll sideways within it.
bool placedByThePane(const QWidget* widget, const QWidget* viewport)
{
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* scroll = qobject_cast<const QAbstractScrollArea*>(parent))
            return scroll->viewport() == viewport;
    }
    return false;
}

TEST_F(PaneColumnFitTest, LongUnbrokenWordsStayInsideTheColumnOfEveryKindAndWidth)
{
    const QString token = kPlace;
    std::vector<std::pair<const char*, VeskItem>> items;
    {
        VeskItem note = makeItem(token, 100);
        note.text = token + QLatin1Char(' ') + token;
        items.emplace_back("text", note);
        VeskItem link = makeItem(token, 101, VeskKind::Url);
        link.urlString = QStringLiteral("https://example.org/") + token;
        items.emplace_back("link", link);
        items.emplace_back("image", makeItem(token, 102, VeskKind::Image, stored(token + QStringLiteral(".png"))));
        items.emplace_back("file", makeItem(token, 103, VeskKind::File, stored(token + QStringLiteral(".pdf"))));
        items.emplace_back("file with an unknown extension",
            makeItem(token, 104, VeskKind::File, stored(QStringLiteral("report.") + token)));
        items.emplace_back("audio", makeItem(kRecording, 105, VeskKind::File, stored(kRecording)));
        items.emplace_back("video", makeItem(token, 106, VeskKind::File, stored(token + QStringLiteral(".mp4"))));
        VeskItem photoNote = makeItem(token, 107, VeskKind::Text, photoNotePackage());
        photoNote.text = token;
        items.emplace_back("photo note", photoNote);
        VeskItem activity = makeItem(token, 108, VeskKind::Activity, activityPackage());
        activity.note = token;
        items.emplace_back("activity", activity);
    }
    QList<VeskItem> library;
    for (const auto& [name, item] : items)
        library.append(item);
    StoreInternals::setItems(*store, library);
    for (const auto& [name, item] : items)
        ASSERT_TRUE(store->addManualTag(QStringLiteral("trip"), item));

    VeskPreview pane(*store);
    pane.setAudioBackendFactory([] { return std::make_unique<NoOutputAudio>(); });
    pane.setOpener([](const QUrl&, OpenRefused) { return true; });
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    QWidget* viewport = pane.findChild<QScrollArea*>()->viewport();

    for (const int width : {300, 360, 500, 700}) {
        pane.resize(width, 900);
        for (const auto& [name, item] : items) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(width));
            pane.setItem(item);
            ASSERT_TRUE(QTest::qWaitFor([&] { return settled(pane.content()); }, realWaitMs(5000)));
            for (int turn = 0; turn < 5; ++turn)
                QCoreApplication::processEvents();
            const int column = viewport->width();
            EXPECT_LE(pane.content()->width(), column);

            for (QWidget* widget : pane.content()->findChildren<QWidget*>()) {
                if (!widget->isVisibleTo(&pane) || !placedByThePane(widget, viewport))
                    continue;
                const QRect placed(widget->mapTo(viewport, QPoint(0, 0)), widget->size());
                EXPECT_LE(placed.right(), column - 1)
                    << widget->metaObject()->className() << " " << widget->objectName().toStdString();
                // A label shows each of its lines whole, or cut short with "…"; a wrapped one has
                // room for its longest word.
                auto* label = qobject_cast<QLabel*>(widget);
                if (!label || label->text().isEmpty() || !label->pixmap().isNull())
                    continue;
                const QStringList words = label->text().split(
                    QRegularExpression(label->wordWrap() ? QStringLiteral("\\s+") : QStringLiteral("\n")));
                for (const QString& word : words) {
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(word), label->contentsRect().width() + 1)
                        << label->objectName().toStdString() << ": " << word.toStdString();
                }
            }
            // The header's actions are in sight.
            for (auto* button : pane.content()->findChild<QWidget*>(QStringLiteral("previewHeader"))
                                    ->findChildren<QAbstractButton*>()) {
                if (button->isVisibleTo(&pane)) {
                    const QRect placed(button->mapTo(viewport, QPoint(0, 0)), button->size());
                    EXPECT_TRUE(viewport->rect().contains(placed)) << button->text().toStdString();
                }
            }
            // An audio title that needs more than two lines is cut after the second, and says so.
            for (auto* player : pane.content()->findChildren<VeskAudioPlayer*>()) {
                auto* title = player->findChild<WrappingText*>(QStringLiteral("audioPlayerTitle"));
                if (!title) {
                    ADD_FAILURE() << "no title";
                    continue;
                }
                EXPECT_EQ(title->text(), kRecording);
                const int lineHeight = title->fontMetrics().lineSpacing();
                EXPECT_LE(title->height(), 2 * lineHeight + 3);
                if (title->fontMetrics().horizontalAdvance(kRecording) > 2 * title->width())
                    EXPECT_TRUE(title->toPlainText().endsWith(QStringLiteral("\u2026"))) << title->toPlainText().toStdString();
            }
        }
    }
}

} // namespace
} // namespace vesk::test
