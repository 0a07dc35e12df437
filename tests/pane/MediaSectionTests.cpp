#include "common/Eventually.h"
#include "common/StoreFixture.h"
#include "media/VeskAudioPlayerController.h"
#include "pane/VeskActivityPreview.h"
#include "pane/MediaPlayerViews.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/DesktopOpening.h"
#include "pane/MediaSections.h"
#include "pane/VeskPreview.h"
#include "pane/WrappingText.h"
#include "store/RealServices.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"
#include "store/FaultInjection.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QMediaPlayer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace vesk::test {
namespace {

// A player that never finds the file playable.
class BrokenAudio : public AudioBackend {
public:
    void load(const QString&) override
    {
        QMetaObject::invokeMethod(this, [this] { emit failed(QStringLiteral("no decoder")); }, Qt::QueuedConnection);
    }
    bool play() override { return false; }
    void pause() override {}
    bool isPlaying() const override { return false; }
    double currentTime() const override { return 0; }
    void setCurrentTime(double) override {}
    double duration() const override { return 0; }
    void setVolume(double) override {}
};

// An xdg-open in front of the real one on PATH, for the life of the object: a check that fails
// returns from the test, and the rest of the process must find PATH as it was. The script notes
// each URL it is asked to open in "asked" beside itself, then runs body.
class XdgOpenStandIn {
public:
    XdgOpenStandIn(const QString& folder, const QByteArray& body)
        : m_path(qgetenv("PATH"))
    {
        QFile script(QDir(folder).filePath(QStringLiteral("xdg-open")));
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/asked\"\n" + body);
            script.close();
        }
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(folder) + ':' + m_path);
    }
    ~XdgOpenStandIn() { qputenv("PATH", m_path); }
    XdgOpenStandIn(const XdgOpenStandIn&) = delete;
    XdgOpenStandIn& operator=(const XdgOpenStandIn&) = delete;

private:
    QByteArray m_path;
};

class MediaSectionTest : public StoreFixture {
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

    VeskItem fileItem(const QString& fileName, const QByteArray& bytes = "x")
    {
        VeskItem item = makeItem(fileName, 100, VeskKind::File,
                                 writeFile(dataDir + QStringLiteral("/Items/") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                                               + QLatin1Char('/') + fileName,
                                           bytes));
        return item;
    }

    std::unique_ptr<VeskStore> store;
};

TEST(VideoMomentTexts, ButtonAndExplanationFollowTheLength)
{
    EXPECT_EQ(videoMomentButtonTitle(30, false), QStringLiteral("Save 30s Moment"));
    EXPECT_EQ(videoMomentButtonTitle(30, true), QStringLiteral("Saving Moment\u2026"));
    EXPECT_EQ(videoMomentExplanation(60),
              QStringLiteral("Saves 30 seconds before and 30 seconds after the current point, when available."));
    EXPECT_EQ(videoMomentExplanation(10),
              QStringLiteral("Saves 5 seconds before and 5 seconds after the current point, when available."));
}

TEST_F(MediaSectionTest, EveryKindOfFileHasASectionThatOpensIt)
{
    VeskPreview pane(*store);
    pane.setAudioBackendFactory([] { return std::make_unique<BrokenAudio>(); });
    QList<QUrl> opened;
    pane.setOpener([&](const QUrl& url, OpenRefused) {
        opened.append(url);
        return true;
    });

    const VeskItem song = fileItem(QStringLiteral("Song.MP3"));
    StoreInternals::setItems(*store, {song});
    pane.setItem(song);
    EXPECT_EQ(pane.section(), PreviewSection::Audio);
    auto* player = pane.content()->findChild<VeskAudioPlayer*>();
    ASSERT_NE(player, nullptr);
    // A file that cannot be played shows why, in place of the controls.
    ASSERT_EVENTUALLY(player->errorRow()->isVisibleTo(player), 5000);
    EXPECT_EQ(player->errorLabel()->text(), QStringLiteral("Vesk couldn't play this audio file."));

    // Phone packages get their own previews in place of the per-kind sections.
    VeskItem package = fileItem(QStringLiteral("walk.VESKNOTE"));
    package.kind = VeskKind::Text;
    StoreInternals::setItems(*store, {package});
    pane.setItem(package);
    EXPECT_EQ(pane.section(), PreviewSection::PhotoNote);
    EXPECT_NE(pane.content()->findChild<VeskPhotoNotePreview*>(), nullptr);
    VeskItem activity = fileItem(QStringLiteral("walk.veskactivity"));
    activity.kind = VeskKind::Activity;
    StoreInternals::setItems(*store, {activity});
    pane.setItem(activity);
    EXPECT_EQ(pane.section(), PreviewSection::Activity);
    EXPECT_NE(pane.content()->findChild<VeskActivityPreview*>(), nullptr);
}

TEST_F(MediaSectionTest, AFileThatNoApplicationOpensIsSaidInTheFailureNotice)
{
    // A desktop without xdg-open, or with nothing set up for the type, refuses every open.
    VeskPreview pane(*store);
    pane.setAudioBackendFactory([] { return std::make_unique<BrokenAudio>(); });
    QList<QUrl> asked;
    pane.setOpener([&](const QUrl& url, OpenRefused) {
        asked.append(url);
        return false;
    });
    VeskItem picture = fileItem(QStringLiteral("Beach.png"));
    picture.kind = VeskKind::Image;
    const struct {
        VeskItem item;
        const char* button;
    } cases[] = {
        {fileItem(QStringLiteral("Report.pdf")), "Open File"},
        {fileItem(QStringLiteral("Song.mp3")), "Open Original"},
        {picture, "Open Original"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button + (" of " + c.item.title.toStdString()));
        store->dismissFailureNotice();
        asked.clear();
        StoreInternals::setItems(*store, {c.item});
        pane.setItem(c.item);
        QPushButton* open = nullptr;
        for (QPushButton* button : pane.content()->findChildren<QPushButton*>())
            if (button->text() == QLatin1String(c.button))
                open = button;
        ASSERT_NE(open, nullptr);
        open->click();
        EXPECT_EQ(asked, QList<QUrl>{QUrl::fromLocalFile(*c.item.filePath)});
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not opened"));
        EXPECT_EQ(store->failureNotice()->detail,
                  QStringLiteral("Vesk couldn't open this file: no application is set up to open it."));
    }
}

TEST_F(MediaSectionTest, AnOpenerThatStartsAndThenFindsNothingToOpenWithIsSaid)
{
    // xdg-open starts, then exits 3 ("no method available") for what no application handles; the
    // stand-in opens files whose name says so and refuses the rest, as the real one would.
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const XdgOpenStandIn standIn(bin.path(), "case \"$1\" in *handled*) exit 0;; esac\n"
                                             "echo 'xdg-open: no method available for opening' >&2\n"
                                             "exit 3\n");
    const auto asked = [&] {
        QFile file(bin.filePath(QStringLiteral("asked")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };

    const struct {
        QUrl url;
        QString detail;  // empty: opened, nothing said
    } cases[] = {
        {QUrl::fromLocalFile(QStringLiteral("/tmp/handled.txt")), {}},
        {QUrl::fromLocalFile(QStringLiteral("/tmp/Strange.qqq")),
         QStringLiteral("Vesk couldn't open this file: no application is set up to open it.")},
        {QUrl(QStringLiteral("https://example.com/page")),
         QStringLiteral("Vesk couldn't open this link: no application is set up to open it.")},
    };
    int count = 0;
    store->dismissFailureNotice();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        // It started: the open counts as done until xdg-open says otherwise.
        EXPECT_TRUE(openOrReport(*store, systemDesktopOpener(), c.url));
        EXPECT_FALSE(store->failureNotice());
        ++count;
        ASSERT_EVENTUALLY_EQ(asked(), count, 5000);
        if (c.detail.isEmpty())
            continue;
        ASSERT_EVENTUALLY(store->failureNotice(), 5000);
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not opened"));
        // Said once, on its own: an open that succeeded before it added nothing.
        EXPECT_EQ(store->failureNotice()->detail, c.detail);
        store->dismissFailureNotice();
    }
}

TEST_F(MediaSectionTest, AnApplicationThatOpensInTheForegroundCostsVeskNothingAndItsLateExitIsNotSaid)
{
    // xdg-open runs some applications in the foreground: they inherit its outputs, write to them
    // for as long as they run, and their exit, however late and however it ends, is xdg-open's.
    // The stand-in is such an application: it says where its outputs go, writes megabytes to
    // both, and ends long after the open with "the application failed".
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const XdgOpenStandIn standIn(bin.path(),
        "d=$(dirname \"$0\")\n"
        "[ -p /dev/stdout ] && echo 'output into a pipe' >> \"$d/outputs\"\n"
        "[ -p /dev/stderr ] && echo 'errors into a pipe' >> \"$d/outputs\"\n"
        "case \"$1\" in *quick*) head -c 3000000 /dev/zero | tr '\\0' e >&2; exit 4;; esac\n"
        "head -c 8000000 /dev/zero\n"
        "head -c 8000000 /dev/zero >&2\n"
        "sleep 5\n"
        "touch \"$d/ended\"\n"
        "exit 4\n");
    const auto written = [&](const QString& name) {
        QFile file(bin.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // Long enough for the quick one to start and end on a busy machine, well short of the other.
    const int verdictMs = 3000;
    const struct {
        QUrl url;
        QString detail; // empty: nothing said
    } cases[] = {
        // Refused within the few seconds xdg-open is given: said, its outpouring of errors left out.
        {QUrl::fromLocalFile(QStringLiteral("/tmp/quick.pdf")),
         QStringLiteral("Vesk couldn't open this file: the application set up to open it failed.")},
        // Still running then: opened, whatever its exit says later.
        {QUrl::fromLocalFile(QStringLiteral("/tmp/Long.pdf")), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        store->dismissFailureNotice();
        EXPECT_TRUE(openOrReport(*store, systemDesktopOpener(verdictMs), c.url));
        if (!c.detail.isEmpty()) {
            ASSERT_EVENTUALLY(store->failureNotice(), 5000);
            EXPECT_EQ(store->failureNotice()->detail, c.detail);
            continue;
        }
        ASSERT_EVENTUALLY(QFileInfo::exists(bin.filePath(QStringLiteral("ended"))), 20'000);
        // The stand-in is a real process: its exit reaches the window through the event loop.
        QTest::qWait(realWaitMs(1000));
        EXPECT_FALSE(store->failureNotice()) << store->failureNotice()->detail.toStdString();
    }
    EXPECT_EQ(written(QStringLiteral("outputs")).toStdString(), "");
}

TEST_F(MediaSectionTest, SavingAMomentAddsItAndSaysWhereItWasTaken)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "needs ffmpeg to make the test video";
    const QString source = makeTempDirectory(QStringLiteral("movie")) + QStringLiteral("/Walk.mp4");
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                                {"-v", "error", "-f", "lavfi", "-i", "testsrc=duration=4:size=96x64:rate=10", "-c:v",
                                 "libx264", "-pix_fmt", "yuv420p", source}),
              0);
    VeskItem video = makeItem(QStringLiteral("Walk.mp4"), 100, VeskKind::File, source);
    ASSERT_TRUE(store->commitNewItem(video));
    settings->setValue(kVideoMomentDurationKey, 30);

    VeskPreview pane(*store);
    pane.setItem(video);
    ASSERT_EQ(pane.section(), PreviewSection::Video);
    auto* section = pane.content()->findChild<VideoSection*>();
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->saveButton()->text(), QStringLiteral("Save 30s Moment"));
    EXPECT_EQ(section->saveButton()->property("veskRole").toString(), QStringLiteral("prominent"));
    // Before anything is played the player shows the video's first picture, not a black box.
    auto* player = section->findChild<VeskVideoPlayer*>();
    ASSERT_NE(player, nullptr);
    ASSERT_EVENTUALLY(!player->frameView()->shownImage().isNull(), 10000);
    EXPECT_NE(player->player()->playbackState(), QMediaPlayer::PlayingState);
    const QImage first = player->frameView()->shownImage();
    EXPECT_GT(qGray(first.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0)), 40);
    // Every length choice has room for its whole text inside the window's own button style.
    qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    for (const int seconds : kVideoMomentLengths) {
        auto* choice = section->findChild<QPushButton*>(QStringLiteral("videoMomentLength%1").arg(seconds));
        ASSERT_NE(choice, nullptr);
        choice->ensurePolished();
        QStyleOptionButton option;
        option.initFrom(choice);
        option.text = choice->text();
        const QRect contents = choice->style()->subElementRect(QStyle::SE_PushButtonContents, &option, choice);
        const QFontMetrics metrics(choice->font());
        EXPECT_GE(contents.width(), metrics.horizontalAdvance(choice->text())) << seconds;
        EXPECT_GE(contents.height(), metrics.height()) << seconds;
    }
    qApp->setStyleSheet(QString());
    section->startVideoMomentExport();
    EXPECT_TRUE(section->isSavingVideoMoment());
    EXPECT_EQ(section->videoMomentStatus(), QStringLiteral("Saving 30-second moment\u2026"));
    EXPECT_FALSE(section->saveButton()->isEnabled());
    section->startVideoMomentExport(); // ignored while one runs
    ASSERT_EVENTUALLY(!section->isSavingVideoMoment(), 10000);
    EXPECT_EQ(section->videoMomentStatus(), QStringLiteral("Moment saved around 0:00."));
    ASSERT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->items().first().sourceItemID, video.id);
    EXPECT_TRUE(QDir::temp().entryList({QStringLiteral("Vesk-Moment-*")}).isEmpty());

    // The length is remembered for every video.
    section->setVideoMomentDuration(10);
    EXPECT_EQ(settings->value(kVideoMomentDurationKey).toInt(), 10);
}

// A moment the library did not keep says why, after "Could not save moment: ".
TEST_F(MediaSectionTest, AMomentTheLibraryRefusedSaysWhy)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "needs ffmpeg to make the test video";
    const QString source = makeTempDirectory(QStringLiteral("movie")) + QStringLiteral("/Walk.mp4");
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                                {"-v", "error", "-f", "lavfi", "-i", "testsrc=duration=2:size=96x64:rate=10", "-c:v",
                                 "libx264", "-pix_fmt", "yuv420p", source}),
              0);
    const VeskItem video = makeItem(QStringLiteral("Walk.mp4"), 100, VeskKind::File, source);
    ASSERT_TRUE(store->commitNewItem(video));
    store.reset();
    {
        FileSizeLimit full(1);
        store = makeStore();
    }
    ASSERT_EQ(store->readOnlyReason(), std::optional<QString>(QStringLiteral("the disk is full")));

    VeskPreview pane(*store);
    pane.setItem(video);
    auto* section = pane.content()->findChild<VideoSection*>();
    ASSERT_NE(section, nullptr);
    section->startVideoMomentExport();
    ASSERT_EVENTUALLY(!section->isSavingVideoMoment(), 10000);
    EXPECT_EQ(section->videoMomentStatus(), QStringLiteral("Could not save moment: the disk is full."));
    EXPECT_EQ(store->items().size(), 1);
}

} // namespace
} // namespace vesk::test
