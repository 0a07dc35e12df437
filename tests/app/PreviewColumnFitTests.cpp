// The preview column at the widths the user can drag it to, with an item of each kind, and each
// kind again with words longer than a line: nothing of the pane runs past the column's right edge,
// where it would be cut off with nothing to scroll to.
#include "AppTestSupport.h"

#include "app/LibraryContent.h"
#include "media/VeskAudioPlayerController.h"
#include "pane/MediaPlayerViews.h"
#include "pane/PreviewHeader.h"
#include "pane/SplitLayout.h"
#include "pane/VeskActivityPreview.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/VeskPreview.h"
#include "pane/WrappingText.h"
#include "platform/ui/ControlStyles.h"
#include "richtext/RichTextRtf.h"
#include "secureview/SecureVeskPreview.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScrollArea>
#include <QTest>
#include <QTextDocument>

namespace vesk::test {
namespace {

// Whether what a scroll area inside the pane shows holds w: it may be wider than its window and
// scroll sideways (the tag chips).
bool scrollsInside(const QWidget* w, const QWidget* content)
{
    for (const QWidget* at = w->parentWidget(); at && at != content; at = at->parentWidget()) {
        const auto* area = qobject_cast<const QAbstractScrollArea*>(at->parentWidget());
        if (area && area->viewport() == at)
            return true;
    }
    return false;
}

// The shown widgets of the pane's content that are wider than the column allows or that stick
// out of the widget holding them, each with the points it is short of.
QStringList outOfColumn(const QWidget* content, int column)
{
    QStringList out;
    if (content->width() > column)
        out << QStringLiteral("the content is %1 wide in a column of %2").arg(content->width()).arg(column);
    for (const QWidget* w : content->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(content) || scrollsInside(w, content))
            continue;
        const QWidget* parent = w->parentWidget();
        const int over = std::max(w->geometry().right() + 1 - parent->width(), -w->x());
        if (over > 0) {
            out << QStringLiteral("%1 %2 (%3) runs %4 past %5")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                            w->property("text").toString())
                       .arg(over)
                       .arg(parent->objectName());
        }
    }
    return out;
}

// The section of that type on show; a replaced one waits hidden until it is deleted.
template <typename T>
const T* shown(const QWidget* content)
{
    for (const T* section : content->findChildren<T*>()) {
        if (section->isVisibleTo(content))
            return section;
    }
    return nullptr;
}

// The file decodes, but there is nothing to play it on: the audio player's longest line.
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

// One word as long as a column: a place, a file name, a token.
const QString kWord = QStringLiteral("Lakeshore_trail_north_entrance_parking_lot_number_seven");
const QString kRecording = QStringLiteral("interview_recording_with_the_regional_manager_final_take_two.mp3");

class PreviewColumnFitTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Every item is like every other: the "This reminds me of…" panel shows its rows.
        embeddings->fallback = QList<double>{1.0, 0.0, 0.0};
        folder = makeTempDirectory(QStringLiteral("kinds"));
        qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    }
    void TearDown() override
    {
        qApp->setStyleSheet(QString());
        WindowTest::TearDown();
    }

    VeskItem add(VeskItem item)
    {
        EXPECT_TRUE(store->commitNewItem(item)) << item.title.toStdString();
        return item;
    }
    VeskItem addFile(const QString& name, VeskKind kind = VeskKind::File, const QByteArray& bytes = "bytes")
    {
        return add(StoreFixture::makeItem(name, 1'700'000'000, kind, writeFile(folder + QLatin1Char('/') + name, bytes)));
    }

    QString folder;
};

TEST_F(PreviewColumnFitTest, EveryKindFitsTheColumnFromNarrowestToWidest)
{
    const QString longTitle = QStringLiteral("Quarterly planning review with the whole regional team and partners");
    VeskItem note = makeItem(longTitle, 1'700'000'000);
    note.text = QStringLiteral("Agenda for the review #planning #quarterly #team-offsite\nhttps://www.example.co.uk/a/very/"
                               "long/address/that/has/no/spaces/at/all/to/break/it");
    note.searchableText = *note.text;
    note = add(note);
    store->addManualTag(QStringLiteral("handmade"), note);

    VeskItem rich = add(makeItem(QStringLiteral("Rich plan"), 1'700'000'100));
    auto document = makeRichTextDocument();
    document->setHtml(QStringLiteral("<h1>A heading</h1><p>Body line with <b>bold</b> words.</p>"));
    store->updateRichText(rich.id, documentToRtf(*document));

    VeskItem link = StoreFixture::makeItem(longTitle, 1'700'000'200, VeskKind::Url);
    link.urlString = QStringLiteral("https://www.bbc.co.uk/news/") + QString(QStringLiteral("segment")).repeated(20);
    link = add(link);

    QImage picture(640, 400, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString picturePath = folder + QStringLiteral("/Photo with a long name from the trip.png");
    ASSERT_TRUE(picture.save(picturePath));
    const VeskItem image = add(StoreFixture::makeItem(QStringLiteral("Photo with a long name from the trip.png"), 1'700'000'300,
                                        VeskKind::Image, picturePath));

    // Two versions of one deck: the versions panel shows too.
    const VeskItem slides = addFile(QStringLiteral("Quarterly review of the regional sales v2.key"));
    addFile(QStringLiteral("Quarterly review of the regional sales v1.key"));
    VeskItem slidesWithText = addFile(QStringLiteral("Roadmap.pptx"));
    slidesWithText.text = QStringLiteral("Slide one: where we are\nSlide two: where we go");
    slidesWithText.searchableText = *slidesWithText.text;
    ASSERT_TRUE(store->updateItem(slidesWithText));
    const VeskItem sheet = addFile(QStringLiteral("Budget.numbers"));
    const VeskItem audio = addFile(QStringLiteral("Interview recording.mp3"));
    const VeskItem video = addFile(QStringLiteral("Walk by the lake.mp4"));

    const QString activityPath = folder + QStringLiteral("/Walk.veskactivity");
    writeFile(activityPath + QStringLiteral("/docs/report with a rather long file name.pdf"), "report");
    writeFile(activityPath + QStringLiteral("/activity.json"),
              R"({"activity_type":"walk","started_at":"2025-06-01T08:30:00Z","location_summary":"Lake",
        "summary":"Morning walk","events":[
        {"eventID":"e1","kind":"note","createdAt":"2025-06-01T08:31:00Z","text":"cold"},
        {"eventID":"e2","kind":"file","createdAt":"2025-06-01T08:40:00Z",
         "relativePath":"docs/report with a rather long file name.pdf"}]})");
    const VeskItem activity =
        add(StoreFixture::makeItem(QStringLiteral("Walk"), 1'700'000'400, VeskKind::Activity, activityPath));

    const QString notePath = folder + QStringLiteral("/Lake.vesknote");
    ASSERT_TRUE(QDir().mkpath(notePath + QStringLiteral("/media")));
    ASSERT_TRUE(picture.save(notePath + QStringLiteral("/media/a.png")));
    writeFile(notePath + QStringLiteral("/note.json"),
              R"({"schemaVersion":1,"kind":"note","text":"x","attachments":["media/a.png"]})");
    VeskItem package = StoreFixture::makeItem(QStringLiteral("Lake at dawn"), 1'700'000'500, VeskKind::Text, notePath);
    package.text = QStringLiteral("Lake at dawn");
    package = add(package);

    ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router at the office"), QStringLiteral("admin"),
                                     QStringLiteral("tr0ub4dor&3"), QStringLiteral("the second floor")));
    const VeskItem secure = store->items().first();

    // Each kind again with words longer than a line: in titles, texts, addresses, file names, a
    // format badge, and everything an activity package names.
    VeskItem longNote = makeItem(kWord, 1'700'000'600);
    longNote.text = kWord + QLatin1Char(' ') + kWord;
    longNote = add(longNote);
    VeskItem longLink = StoreFixture::makeItem(kWord, 1'700'000'610, VeskKind::Url);
    longLink.urlString = QStringLiteral("https://example.org/") + kWord;
    longLink = add(longLink);
    const QString longPicturePath = folder + QLatin1Char('/') + kWord + QStringLiteral(".png");
    ASSERT_TRUE(picture.save(longPicturePath));
    const VeskItem longImage = add(StoreFixture::makeItem(kWord, 1'700'000'620, VeskKind::Image, longPicturePath));
    const VeskItem longFile = addFile(kWord + QStringLiteral(".pdf"));
    const VeskItem longExtension = addFile(QStringLiteral("report.") + kWord);
    const VeskItem longAudio = addFile(kRecording);
    const VeskItem longVideo = addFile(kWord + QStringLiteral(".mp4"));

    const QString longActivityPath = folder + QLatin1Char('/') + kWord + QStringLiteral(".veskactivity");
    const QString photo = kWord + QStringLiteral("_photo.png");
    ASSERT_TRUE(QDir().mkpath(longActivityPath + QStringLiteral("/media")));
    ASSERT_TRUE(picture.save(longActivityPath + QStringLiteral("/media/") + photo));
    writeFile(longActivityPath + QStringLiteral("/media/") + kRecording, "not really sound");
    writeFile(longActivityPath + QStringLiteral("/docs/") + kWord + QStringLiteral(".pdf"), "report");
    writeFile(longActivityPath + QStringLiteral("/docs/report.") + kWord, "odd extension");
    writeFile(longActivityPath + QStringLiteral("/activity.json"), QStringLiteral(R"({
        "activityType": "%1", "startedAt": "%1", "locationSummary": "%1", "summary": "%1", "notes": "%1",
        "events": [
          {"eventID": "1", "kind": "photo", "createdAt": "%1", "relativePath": "media/%2"},
          {"eventID": "2", "kind": "note", "createdAt": "2025-06-01T08:30:00Z", "text": "%1"},
          {"eventID": "3", "kind": "file", "createdAt": "2025-06-01T08:31:00Z", "relativePath": "media/%3"},
          {"eventID": "4", "kind": "file", "createdAt": "2025-06-01T08:32:00Z", "relativePath": "docs/%1.pdf"},
          {"eventID": "5", "kind": "file", "createdAt": "2025-06-01T08:33:00Z", "relativePath": "docs/report.%1"},
          {"eventID": "6", "kind": "%1", "createdAt": "2025-06-01T08:34:00Z", "text": "%1"}
        ]})").arg(kWord, photo, kRecording).toUtf8());
    VeskItem longActivity = StoreFixture::makeItem(kWord, 1'700'000'630, VeskKind::Activity, longActivityPath);
    longActivity.note = kWord;
    longActivity = add(longActivity);

    const QString longNotePath = folder + QLatin1Char('/') + kWord + QStringLiteral(".vesknote");
    ASSERT_TRUE(QDir().mkpath(longNotePath + QStringLiteral("/media")));
    ASSERT_TRUE(picture.save(longNotePath + QStringLiteral("/media/") + kWord + QStringLiteral(".png")));
    writeFile(longNotePath + QStringLiteral("/note.json"),
              QStringLiteral(R"({"schemaVersion":1,"kind":"note","text":"%1","attachments":["media/%1.png"]})")
                  .arg(kWord).toUtf8());
    VeskItem longPackage = StoreFixture::makeItem(kWord, 1'700'000'640, VeskKind::Text, longNotePath);
    longPackage.text = kWord;
    longPackage = add(longPackage);

    const struct {
        const char* kind;
        VeskItem item;
    } kinds[] = {
        {"text", note},         {"rich text", rich},   {"link", link},
        {"image", image},       {"file (SLIDES)", slides}, {"file (SLIDES) with contents", slidesWithText},
        {"file (SHEET)", sheet}, {"audio", audio},     {"video", video},
        {"activity", activity}, {"secure", secure},     {"package", package},
        {"text of long words", longNote}, {"link of long words", longLink}, {"image of a long name", longImage},
        {"file of a long name", longFile}, {"file of a long extension", longExtension},
        {"audio of a long name", longAudio}, {"video of a long name", longVideo},
        {"activity of long words", longActivity}, {"package of long words", longPackage},
    };

    settings->setValue(QStringLiteral("veskPreviewPaneWidth"), 300.0);
    MainWindowState state(settings);
    LibraryContent content(*store, state, settings);
    content.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    content.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
    VeskPreview* pane = content.preview();
    pane->setAudioBackendFactory([] { return std::make_unique<NoOutputAudio>(); });
    auto* scroll = pane->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);

    for (const int width : {300, 360, 500, 700}) {
        content.split()->commitDrag(content.split()->previewWidth() - width);
        ASSERT_EQ(pane->width(), width);
        for (const auto& [kind, item] : kinds) {
            SCOPED_TRACE(testing::Message() << kind << " at " << width);
            store->select(item.id);
            // The packages are read on a worker and the related panels come on the next turn.
            ASSERT_TRUE(QTest::qWaitFor([&] {
                const auto* activityView = shown<VeskActivityPreview>(pane->content());
                const auto* noteView = shown<VeskPhotoNotePreview>(pane->content());
                return (!activityView || activityView->packageLoaded())
                       && (!noteView || !noteView->findChildren<QWidget*>(QStringLiteral("photoNoteCard")).isEmpty());
            }, 5000));
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
            ASSERT_EQ(pane->item()->id, item.id);
            EXPECT_EQ(outOfColumn(pane->content(), scroll->viewport()->width()).join(u'\n').toStdString(), "");
            EXPECT_EQ(cutTexts(pane->content()).join(u'\n').toStdString(), "");
            // Only the narrowest column asks the header's actions to leave out their symbols.
            if (width > 300)
                EXPECT_TRUE(pane->content()->findChild<PreviewHeader*>()->showsActionSymbols());
            // The header gives way elsewhere before a format word as short as "Activity" is cut.
            if (const auto* badge = pane->content()->findChild<ElidedLabel*>(QStringLiteral("previewFormatBadge"));
                badge && badge->isVisibleTo(pane->content()) && badge->fullText().size() <= 8)
                EXPECT_EQ(badge->text().toStdString(), badge->fullText().toStdString());
            // An audio title is at most two lines; one that needs more ends the second in "…".
            for (const auto* player : pane->content()->findChildren<VeskAudioPlayer*>()) {
                if (!player->isVisibleTo(pane->content()))
                    continue;
                const auto* title = player->findChild<WrappingText*>(QStringLiteral("audioPlayerTitle"));
                ASSERT_NE(title, nullptr);
                EXPECT_LE(title->height(), 2 * title->fontMetrics().lineSpacing() + 3);
                if (title->fontMetrics().horizontalAdvance(title->text()) > 2 * title->width())
                    EXPECT_TRUE(title->toPlainText().endsWith(QChar(0x2026))) << title->toPlainText().toStdString();
            }
        }
    }
}

} // namespace
} // namespace vesk::test
