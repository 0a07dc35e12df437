#include "common/Eventually.h"
#include "common/TestEnvironment.h"
#include "media/MediaTimeFormat.h"
#include "media/VeskAudioPlayerController.h"
#include "media/VeskVideoPlayerController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vesk {
namespace {

TEST(MediaTimeFormat, AudioLabelsRoundDownAndNeverShowHours)
{
    EXPECT_EQ(formatAudioTime(0), QStringLiteral("0:00"));
    EXPECT_EQ(formatAudioTime(59.9), QStringLiteral("0:59"));
    EXPECT_EQ(formatAudioTime(61), QStringLiteral("1:01"));
    EXPECT_EQ(formatAudioTime(3725), QStringLiteral("62:05"));
    EXPECT_EQ(formatAudioTime(-0.0), QStringLiteral("0:00"));
    for (double bad : {-1.0, std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_EQ(formatAudioTime(bad), QStringLiteral("0:00"));
}

TEST(MediaTimeFormat, PlaybackTimeRoundsToTheNearestSecondAndShowsHours)
{
    EXPECT_EQ(formatPlaybackTime(75.4), QStringLiteral("1:15"));
    EXPECT_EQ(formatPlaybackTime(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(formatPlaybackTime(59.6), QStringLiteral("1:00"));
    EXPECT_EQ(formatPlaybackTime(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(formatPlaybackTime(3725), QStringLiteral("1:02:05"));
    EXPECT_EQ(formatPlaybackTime(-3), QStringLiteral("0:00"));
    EXPECT_EQ(formatPlaybackTime(std::nan("")), QStringLiteral("0:00"));
    EXPECT_FALSE(formatPlaybackTime(1e300).isEmpty()); // no player says this, and it must not trap
}

// A player without sound: loading succeeds or fails when the test says so.
class FakeAudioBackend : public AudioBackend {
public:
    void load(const QString& path) override { loadedPath = path; }
    bool play() override
    {
        if (refusePlay)
            return false;
        playing = true;
        return true;
    }
    void pause() override { playing = false; }
    bool isPlaying() const override { return playing; }
    double currentTime() const override { return position; }
    void setCurrentTime(double seconds) override { position = seconds; }
    double duration() const override { return length; }
    void setVolume(double value) override { volume = value; }

    void finishLoading() { emit loaded(); }
    void failLoading() { emit failed(QStringLiteral("no decoder")); }
    void reachEnd()
    {
        playing = false;
        position = length;
        emit finished();
    }

    QString loadedPath;
    bool playing = false;
    bool refusePlay = false;
    double position = 0;
    double length = 90;
    double volume = -1;
};

struct AudioHarness {
    FakeAudioBackend* backend = new FakeAudioBackend;
    VeskAudioPlayerController controller{QStringLiteral("/music/song.mp3"), std::unique_ptr<AudioBackend>(backend)};
};

TEST(AudioPlayerController, PlaysPausesAndStartsOverAfterTheEnd)
{
    AudioHarness h;
    EXPECT_EQ(h.backend->loadedPath, QStringLiteral("/music/song.mp3"));
    h.controller.play();
    EXPECT_FALSE(h.controller.isPlaying()); // not loaded yet: nothing happens
    h.backend->finishLoading();
    ASSERT_TRUE(h.controller.isReady());
    EXPECT_DOUBLE_EQ(h.controller.duration(), 90);

    h.controller.setVolume(0.4);
    h.controller.togglePlayback();
    EXPECT_TRUE(h.controller.isPlaying());
    EXPECT_TRUE(h.controller.timerRunning());
    EXPECT_DOUBLE_EQ(h.backend->volume, 0.4);
    h.backend->position = 12.5;
    ASSERT_EVENTUALLY_EQ(h.controller.currentTime(), 12.5, 2000);
    h.controller.togglePlayback();
    EXPECT_FALSE(h.controller.isPlaying());
    EXPECT_FALSE(h.controller.timerRunning());

    h.controller.play();
    h.backend->reachEnd();
    EXPECT_FALSE(h.controller.isPlaying());
    EXPECT_DOUBLE_EQ(h.controller.currentTime(), 90);
    h.controller.play();
    EXPECT_DOUBLE_EQ(h.backend->position, 0);
    EXPECT_TRUE(h.controller.isPlaying());

    // A player that will not start leaves everything as it was.
    h.controller.pause();
    h.backend->refusePlay = true;
    h.controller.play();
    EXPECT_FALSE(h.controller.isPlaying());
    EXPECT_FALSE(h.controller.timerRunning());
}

TEST(AudioPlayerController, ScrubbingPausesClampsAndResumesOnlyWhenItWasPlaying)
{
    AudioHarness h;
    h.backend->finishLoading();
    h.controller.play();
    h.controller.beginScrubbing();
    EXPECT_FALSE(h.controller.isPlaying());
    EXPECT_FALSE(h.backend->playing);
    h.controller.setCurrentTime(30);
    h.controller.endScrubbing();
    EXPECT_DOUBLE_EQ(h.backend->position, 30);
    EXPECT_TRUE(h.controller.isPlaying());

    h.controller.pause();
    h.controller.beginScrubbing();
    h.controller.setCurrentTime(140);
    h.controller.endScrubbing();
    EXPECT_DOUBLE_EQ(h.controller.currentTime(), 90);
    EXPECT_FALSE(h.controller.isPlaying());
    h.controller.beginScrubbing();
    h.controller.setCurrentTime(-4);
    h.controller.endScrubbing();
    EXPECT_DOUBLE_EQ(h.controller.currentTime(), 0);
}

TEST(AudioPlayerController, AFileThatCannotBePlayedSaysSo)
{
    AudioHarness h;
    h.backend->failLoading();
    EXPECT_FALSE(h.controller.isReady());
    ASSERT_TRUE(h.controller.errorMessage().has_value());
    EXPECT_EQ(*h.controller.errorMessage(), QStringLiteral("Vesk couldn't play this audio file."));
    h.controller.togglePlayback();
    h.controller.endScrubbing();
    EXPECT_FALSE(h.controller.isPlaying());
}

TEST(AudioPlayerController, AFailureIsFinalWhateverTheBackendSaysAfterIt)
{
    // The multimedia backend reports a length after its error; that must not make the file
    // look playable again.
    AudioHarness h;
    h.backend->failLoading();
    h.backend->finishLoading();
    EXPECT_FALSE(h.controller.isReady());
    EXPECT_EQ(h.controller.errorMessage(), VeskAudioPlayerController::undecodableMessage());
    h.controller.togglePlayback();
    EXPECT_FALSE(h.backend->playing);

    AudioHarness silent;
    emit silent.backend->noSoundOutput();
    EXPECT_EQ(silent.controller.errorMessage(), VeskAudioPlayerController::noOutputMessage());
}

// The real multimedia backend on files this test makes: a damaged one is never playable, and a
// good one is either playable or, on a machine without a sound output, says that instead.
TEST(AudioPlayerController, TheSystemBackendTellsABrokenFileFromAGoodOne)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "needs ffmpeg to make the test sound";
    const QString folder = test::makeTempDirectory(QStringLiteral("audio"));
    const QString good = folder + "/tone.wav";
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i",
                                                           "sine=frequency=440:duration=2", good}),
              0);
    const QString broken = test::writeFile(folder + "/broken.mp3", QByteArray("ID3\x03" "broke", 9));

    const auto settle = [](VeskAudioPlayerController& controller) {
        QSignalSpy spy(&controller, &VeskAudioPlayerController::changed);
        while (!controller.isReady() && !controller.errorMessage() && spy.wait(10000)) {
        }
        // What the backend has queued after its verdict must not change it (later reports are
        // the fake backend's test above).
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    };
    VeskAudioPlayerController brokenPlayer(broken, makeSystemAudioBackend());
    settle(brokenPlayer);
    EXPECT_FALSE(brokenPlayer.isReady());
    EXPECT_EQ(brokenPlayer.errorMessage(), VeskAudioPlayerController::undecodableMessage());

    VeskAudioPlayerController goodPlayer(good, makeSystemAudioBackend());
    settle(goodPlayer);
    if (hasAudioOutputDevice()) {
        EXPECT_TRUE(goodPlayer.isReady());
        EXPECT_FALSE(goodPlayer.errorMessage().has_value());
        EXPECT_NEAR(goodPlayer.duration(), 2.0, 0.1);
    } else {
        EXPECT_FALSE(goodPlayer.isReady());
        EXPECT_EQ(goodPlayer.errorMessage(), VeskAudioPlayerController::noOutputMessage());
    }
}

TEST(VideoPlayerController, DetachingShowsZero)
{
    VeskVideoPlayerController controller;
    QMediaPlayer player;
    controller.attach(&player);
    EXPECT_EQ(controller.player(), &player);
    controller.detach();
    EXPECT_EQ(controller.player(), nullptr);
    EXPECT_EQ(controller.currentTime(), 0);
    EXPECT_EQ(controller.duration(), 0);
}

} // namespace
} // namespace vesk
