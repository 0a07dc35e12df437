#include "timeline/VeskTimelineMediaCache.h"
#include "timeline/VeskTimelineThumbnail.h"

#include "platform/image/ImageLoader.h"

#include "TimelineTestSupport.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>

namespace vesk {
namespace {

using test::writePhoto;

// Runs the main loop until the condition holds or two seconds passed.
bool settle(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 2000);
}

TEST(TimelinePreviews, MadeSmallOffTheMainThreadAndFailuresReported)
{
    const QString folder = test::makeTempDirectory();
    const QString large = writePhoto(folder, QStringLiteral("wide.png"), {2000, 1000});
    const QString small = writePhoto(folder, QStringLiteral("small.png"), {300, 200});
    const QString broken = test::writeBytes(folder, QStringLiteral("broken.jpg"), "not a picture");

    VeskTimelineMediaCache cache;
    QObject context;
    QHash<QString, bool> outcomes;
    for (const QString& path : {large, small, broken})
        cache.loadPreview(path, &context, [&outcomes, path](bool made) { outcomes.insert(path, made); });
    ASSERT_TRUE(settle([&] { return outcomes.size() == 3; }));

    EXPECT_TRUE(outcomes.value(large));
    EXPECT_EQ(cache.preview(large).size(), QSize(900, 450));
    // Never enlarged.
    EXPECT_EQ(cache.preview(small).size(), QSize(300, 200));
    EXPECT_FALSE(outcomes.value(broken));
    EXPECT_TRUE(cache.preview(broken).isNull());
    EXPECT_TRUE(cache.previewFailed(broken));
    EXPECT_FALSE(cache.previewFailed(large));

    // A held preview is not made again, and the caller (a second cell of a pasted copy of the
    // same photo) is still told it is there, after it has returned.
    int made = 0;
    VeskTimelineMediaCache counting({}, [&](const QString& path, int maxPixels) {
        ++made;
        return ImageLoader::load(path, maxPixels);
    });
    std::optional<bool> first;
    counting.loadPreview(large, &context, [&](bool ok) { first = ok; });
    ASSERT_TRUE(settle([&] { return first.has_value(); }));
    std::optional<bool> again;
    counting.loadPreview(large, &context, [&](bool ok) { again = ok; });
    EXPECT_FALSE(again.has_value());
    ASSERT_TRUE(settle([&] { return again.has_value(); }));
    EXPECT_TRUE(*again);
    EXPECT_EQ(made, 1);
}

TEST(TimelinePreviews, AtMostTwoAtATimeAndGoneReceiversAreSkipped)
{
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::atomic<bool> onMainThread{false};
    // The first loads are held until the test has seen two of them at work, so that a third
    // would be seen beside them if the cache allowed one.
    std::atomic<bool> released{false};
    QThread* mainThread = QThread::currentThread();
    VeskTimelineMediaCache cache({}, [&](const QString&, int maxPixels) {
        if (QThread::currentThread() == mainThread)
            onMainThread = true;
        const int now = ++running;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        released.wait(false);
        --running;
        QImage image(maxPixels, maxPixels / 2, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return image;
    });
    auto gone = std::make_unique<QObject>();
    QObject kept;
    int keptCalls = 0;
    int goneCalls = 0;
    for (int i = 0; i < 8; ++i) {
        cache.loadPreview(QStringLiteral("/p/%1.jpg").arg(i), gone.get(), [&](bool) { ++goneCalls; });
        cache.loadPreview(QStringLiteral("/q/%1.jpg").arg(i), &kept, [&](bool) { ++keptCalls; });
    }
    gone.reset();
    const bool twoAtWork = settle([&] { return running.load() == 2; });
    released = true;
    released.notify_all();
    ASSERT_TRUE(twoAtWork);
    ASSERT_TRUE(settle([&] { return keptCalls == 8; }));
    cache.waitForPreviews();
    QCoreApplication::processEvents();
    EXPECT_EQ(goneCalls, 0);
    EXPECT_EQ(peak.load(), 2);
    EXPECT_FALSE(onMainThread.load());
    EXPECT_EQ(cache.preview(QStringLiteral("/p/3.jpg")).size(), QSize(900, 450));
}

TEST(TimelineThumbnail, AsksWhenPaintedThenShowsThePictureOrAStaticPlaceholder)
{
    const QString folder = test::makeTempDirectory();
    const QString good = writePhoto(folder, QStringLiteral("good.jpg"), {1200, 800});
    const QString broken = test::writeBytes(folder, QStringLiteral("broken.png"), "\x89PNG but not really");
    std::atomic<int> made{0};
    VeskTimelineMediaCache cache({}, [&](const QString& path, int maxPixels) {
        ++made;
        return ImageLoader::load(path, maxPixels);
    });

    VeskTimelineThumbnail thumbnail(cache);
    EXPECT_EQ(thumbnail.state(), VeskTimelineThumbnail::State::Failed);
    EXPECT_EQ(thumbnail.size(), QSize(390, 260));

    // Nothing is prepared for a cell that was never painted.
    thumbnail.setPath(good);
    EXPECT_EQ(thumbnail.state(), VeskTimelineThumbnail::State::Loading);
    cache.waitForPreviews();
    QCoreApplication::processEvents();
    EXPECT_EQ(made.load(), 0);
    thumbnail.grab();
    ASSERT_TRUE(settle([&] { return thumbnail.state() != VeskTimelineThumbnail::State::Loading; }));
    EXPECT_EQ(thumbnail.state(), VeskTimelineThumbnail::State::Shown);
    EXPECT_EQ(cache.preview(good).size(), QSize(900, 600));
    const QImage shown = thumbnail.grab().toImage();
    // Fitted: 390 by 260 holds a 3:2 picture exactly, so the centre and a corner-adjacent point
    // are picture, not placeholder.
    EXPECT_EQ(shown.pixelColor(195, 130), shown.pixelColor(20, 130));

    thumbnail.setPath(broken);
    thumbnail.grab();
    ASSERT_TRUE(settle([&] { return thumbnail.state() != VeskTimelineThumbnail::State::Loading; }));
    EXPECT_EQ(thumbnail.state(), VeskTimelineThumbnail::State::Failed);

    // Another cell for the same paths takes what the cache knows at once, without new work.
    const int before = made.load();
    VeskTimelineThumbnail again(cache);
    again.setPath(good);
    EXPECT_EQ(again.state(), VeskTimelineThumbnail::State::Shown);
    again.setPath(broken);
    EXPECT_EQ(again.state(), VeskTimelineThumbnail::State::Failed);
    again.grab();
    cache.waitForPreviews();
    QCoreApplication::processEvents();
    EXPECT_EQ(made.load(), before);

    // A late answer for a path the cell has left does not change the new one's state.
    const QString slow = writePhoto(folder, QStringLiteral("slow.png"), {100, 100});
    VeskTimelineThumbnail switching(cache);
    switching.setPath(slow);
    switching.grab();
    switching.setPath(broken);
    cache.waitForPreviews();
    QCoreApplication::processEvents();
    EXPECT_EQ(switching.state(), VeskTimelineThumbnail::State::Failed);
}

} // namespace
} // namespace vesk
