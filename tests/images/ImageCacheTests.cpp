#include "common/TestEnvironment.h"
#include "platform/Log.h"
#include "platform/Uuid.h"
#include "images/PreparedPreviewCache.h"
#include "images/ThumbnailCache.h"
#include "images/ThumbnailLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace vesk;

namespace {

QString writePicture(const QString& folder, const QString& name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    const QString path = QDir(folder).filePath(name);
    // Names without a picture extension are written as PNG: the loader goes by content.
    const bool knownSuffix = QImageWriter::supportedImageFormats().contains(QFileInfo(path).suffix().toLower().toLatin1());
    EXPECT_TRUE(image.save(path, knownSuffix ? nullptr : "PNG", 80)) << path.toStdString();
    return path;
}

VeskItem itemWithFile(const std::optional<QString>& path, VeskKind kind = VeskKind::Image)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = QStringLiteral("Picture");
    item.filePath = path;
    return item;
}

template <typename T>
T resultOf(QFuture<T> future)
{
    future.waitForFinished();
    return future.result();
}

void resultOf(QFuture<void> future)
{
    future.waitForFinished();
}

class LogLines {
public:
    LogLines() { setVeskLogCapture([this](const QString& line) { lines.append(line); }); }
    ~LogLines() { setVeskLogCapture({}); }
    QStringList lines;
};

} // namespace

TEST(ThumbnailCache, ServesMemoryThenDiskThenRendersKeyedByIdentifierOnly)
{
    const QString sources = test::makeTempDirectory();
    const QString folder = QDir(test::makeTempDirectory()).filePath("Thumbnails");
    const VeskItem item = itemWithFile(writePicture(sources, "big.jpg", {800, 600}));
    {
        ThumbnailCache cache(folder);
        const QImage made = resultOf(cache.thumbnail(item, 520));
        EXPECT_EQ(made.size(), QSize(520, 390));
        cache.waitForIdle(); // the file is written just after the answer
        EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(uuidString(item.id) + ".png")));

        // The source is gone: memory answers, and a larger request gets the first size made.
        QFile::remove(*item.filePath);
        EXPECT_EQ(resultOf(cache.thumbnail(item, 1400)).size(), QSize(520, 390));
    }
    {
        // A later launch: empty memory, the PNG file answers.
        ThumbnailCache relaunched(folder);
        EXPECT_EQ(resultOf(relaunched.thumbnail(item, 1400)).size(), QSize(520, 390));

        resultOf(relaunched.removeThumbnail(item.id));
        EXPECT_FALSE(QFileInfo::exists(relaunched.fileFor(item.id)));
        EXPECT_TRUE(resultOf(relaunched.thumbnail(item, 520)).isNull());
        // Removing what is not there changes nothing and does not fail.
        resultOf(relaunched.removeThumbnail(QUuid::createUuid()));
    }
}

// A request withdrawn before its turn is not decoded; what waits on it is told it was cancelled,
// never handed a missing image (a card would take that as "no picture" for good).
TEST(ThumbnailCache, AWithdrawnRequestIsCancelledForWhatWaitsOnIt)
{
    const QString sources = test::makeTempDirectory();
    const QString folder = QDir(test::makeTempDirectory()).filePath("Thumbnails");
    ThumbnailCache cache(folder);
    const VeskItem item = itemWithFile(writePicture(sources, "big.jpg", {800, 600}));
    const CancellationToken withdrawn;
    withdrawn.cancel();
    std::atomic<bool> scaled = false;
    QFuture<QImage> request = cache.thumbnail(item, 520, withdrawn);
    QFuture<QImage> next = request.then(QtFuture::Launch::Sync, [&scaled](const QImage& image) {
        scaled = true;
        return image;
    });
    next.waitForFinished();
    cache.waitForIdle();
    EXPECT_TRUE(request.isCanceled());
    EXPECT_TRUE(next.isCanceled());
    EXPECT_FALSE(scaled);
    EXPECT_FALSE(QFileInfo::exists(cache.fileFor(item.id))) << "nothing was decoded for it";
}

// Letting go of what is in memory gives the same answers, now from the file: a file replaced
// meanwhile shows which of the two answered. For the card thumbnails and the pane's prepared
// pictures alike.
TEST(PictureCaches, AReleaseAnswersFromTheFileInstead)
{
    // Asks the cache for the item's picture, or, given a picture, writes it as the cache's file
    // of the item; with neither, lets go of what is in memory.
    using Cache = std::function<QImage(const VeskItem& item, const QImage* replacement, bool release)>;
    const auto thumbnails = [] {
        auto cache = std::make_shared<ThumbnailCache>(QDir(test::makeTempDirectory()).filePath("Thumbnails"));
        return Cache([cache](const VeskItem& item, const QImage* replacement, bool release) {
            cache->waitForIdle();
            if (replacement)
                EXPECT_TRUE(replacement->save(cache->fileFor(item.id), "PNG"));
            else if (release)
                cache->releaseCaches();
            else
                return resultOf(cache->thumbnail(item, 520));
            return QImage();
        });
    };
    const auto previews = [] {
        auto cache = std::make_shared<PreparedPreviewCache>(
            QDir(test::makeTempDirectory()).filePath("PreparedPreviews"), nullptr);
        return Cache([cache](const VeskItem& item, const QImage* replacement, bool release) {
            cache->waitForIdle();
            if (replacement)
                EXPECT_TRUE(replacement->save(cache->previewFileFor(item.id), "PNG"));
            else if (release)
                cache->releaseCaches();
            else
                return resultOf(cache->preparedImage(item));
            return QImage();
        });
    };
    struct Case {
        const char* label;
        std::function<Cache()> make;
        bool released;
    };
    const QColor onDisk(200, 40, 40);
    const Case cases[] = {
        {"thumbnails kept", thumbnails, false},
        {"thumbnails released", thumbnails, true},
        {"prepared previews kept", previews, false},
        {"prepared previews released", previews, true},
    };
    for (const Case& c : cases) {
        const QString sources = test::makeTempDirectory();
        const Cache cache = c.make();
        const VeskItem item = itemWithFile(writePicture(sources, "small.jpg", {80, 60}));
        const QImage first = cache(item, nullptr, false);
        ASSERT_FALSE(first.isNull()) << c.label;
        QImage replaced(80, 60, QImage::Format_RGB32);
        replaced.fill(onDisk);
        cache(item, &replaced, false);
        if (c.released)
            cache(item, nullptr, true);
        const QImage answered = cache(item, nullptr, false);
        EXPECT_EQ(answered.pixelColor(40, 30), c.released ? onDisk : first.pixelColor(40, 30)) << c.label;
    }
}

// Opening one picture or file after another keeps only what fits the cache's budget in memory,
// the last one among it.
TEST(PictureCaches, StayWithinTheirBudgetWhenOverfilled)
{
    static constexpr int kBudgetKilobytes = 4096;
    // Asks for the picture of a file of 800 by 800 (2,500 kB in memory) and answers what the
    // cache then keeps.
    using Fill = std::function<int(const QString& path)>;
    struct Case {
        const char* label;
        std::function<Fill()> make;
    };
    const Case cases[] = {
        {"file thumbnails",
         [] {
             auto loader = std::make_shared<ThumbnailLoader>(kBudgetKilobytes);
             return Fill([loader](const QString& path) {
                 EXPECT_FALSE(loader->thumbnail(path, {800, 800}).result().isIcon()) << path.toStdString();
                 return loader->keptKilobytes();
             });
         }},
        {"prepared previews",
         [] {
             auto cache = std::make_shared<PreparedPreviewCache>(
                 QDir(test::makeTempDirectory()).filePath("PreparedPreviews"), nullptr, kBudgetKilobytes);
             return Fill([cache](const QString& path) {
                 EXPECT_FALSE(resultOf(cache->preparedImage(itemWithFile(path))).isNull()) << path.toStdString();
                 return cache->keptKilobytes();
             });
         }},
    };
    for (const Case& c : cases) {
        const QString sources = test::makeTempDirectory();
        const Fill fill = c.make();
        int kept = 0;
        for (int i = 0; i < 6; ++i)
            kept = fill(writePicture(sources, QStringLiteral("picture-%1.png").arg(i), {800, 800}));
        EXPECT_LE(kept, kBudgetKilobytes) << c.label;
        EXPECT_GE(kept, 800 * 800 * 4 / 1024) << c.label << ": the last one stays";
    }
}

TEST(ThumbnailCache, NeverEnlargesAndStoresNothingWithoutAPicture)
{
    const QString sources = test::makeTempDirectory();
    ThumbnailCache cache(QDir(test::makeTempDirectory()).filePath("Thumbnails"));

    const VeskItem small = itemWithFile(writePicture(sources, "small.png", {300, 200}));
    EXPECT_EQ(resultOf(cache.thumbnail(small, 520)).size(), QSize(300, 200));

    const VeskItem noPath = itemWithFile(std::nullopt);
    EXPECT_TRUE(resultOf(cache.thumbnail(noPath, 520)).isNull());
    const VeskItem missing = itemWithFile(QDir(sources).filePath("gone.jpg"));
    EXPECT_TRUE(resultOf(cache.thumbnail(missing, 520)).isNull());
    cache.waitForIdle();
    EXPECT_FALSE(QFileInfo::exists(cache.fileFor(noPath.id)));
    EXPECT_FALSE(QFileInfo::exists(cache.fileFor(missing.id)));

    // A damaged thumbnail file counts as absent and is replaced by a fresh one.
    const VeskItem repaired = itemWithFile(writePicture(sources, "repaired.png", {100, 50}));
    QDir().mkpath(cache.folder());
    QFile damaged(cache.fileFor(repaired.id));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a png");
    damaged.close();
    EXPECT_EQ(resultOf(cache.thumbnail(repaired, 520)).size(), QSize(100, 50));
    cache.waitForIdle();
    EXPECT_FALSE(QImage(cache.fileFor(repaired.id)).isNull());
}

TEST(ThumbnailCache, UnwritableFolderLogsEachGenerationButStillAnswers)
{
    const QString sources = test::makeTempDirectory();
    // A plain file where the folder should be: the folder can never be created.
    const QString blocked = QDir(test::makeTempDirectory()).filePath("Thumbnails");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    LogLines log;
    ThumbnailCache cache(blocked);
    const VeskItem first = itemWithFile(writePicture(sources, "a.png", {64, 64}));
    const VeskItem second = itemWithFile(writePicture(sources, "b.png", {64, 64}));
    EXPECT_FALSE(resultOf(cache.thumbnail(first, 520)).isNull());
    EXPECT_FALSE(resultOf(cache.thumbnail(first, 520)).isNull()); // from memory, no new line
    EXPECT_FALSE(resultOf(cache.thumbnail(second, 520)).isNull());
    cache.waitForIdle();
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(log.lines.at(0).startsWith("Vesk thumbnail cache write error: "));
}

TEST(ThumbnailCache, PrewarmTakesImageItemsOnlyAndGivesWayToCards)
{
    const QString sources = test::makeTempDirectory();
    ThumbnailCache cache(QDir(test::makeTempDirectory()).filePath("Thumbnails"));

    const VeskItem capitals = itemWithFile(writePicture(sources, "CAPS.JPG", {40, 40}), VeskKind::File);
    const VeskItem oddImage = itemWithFile(writePicture(sources, "odd.data", {40, 40}), VeskKind::Image);
    const VeskItem pdf = itemWithFile(QDir(sources).filePath("doc.pdf"), VeskKind::File);
    writePicture(sources, "doc.pdf.png", {40, 40});
    VeskItem text = itemWithFile(std::nullopt, VeskKind::Text);
    EXPECT_TRUE(ThumbnailCache::qualifiesForPrewarm(*thumbnailSourceOf(capitals)));
    EXPECT_TRUE(ThumbnailCache::qualifiesForPrewarm(*thumbnailSourceOf(oddImage)));
    EXPECT_FALSE(ThumbnailCache::qualifiesForPrewarm(*thumbnailSourceOf(pdf)));
    EXPECT_FALSE(thumbnailSourceOf(text).has_value());

    QList<VeskItem> library{capitals, pdf, text, oddImage};
    for (int i = 0; i < 24; ++i)
        library.append(itemWithFile(writePicture(sources, QStringLiteral("p%1.jpg").arg(i), {600, 400})));
    const VeskItem card = itemWithFile(writePicture(sources, "card.png", {30, 30}));

    QFuture<void> prewarm = cache.prewarmThumbnails(thumbnailSourcesOf(library));
    QFuture<QImage> cardRequest = cache.thumbnail(card, 520);
    cardRequest.waitForFinished();
    // The card was answered between two prewarm items, not after the whole library.
    EXPECT_FALSE(prewarm.isFinished());
    prewarm.waitForFinished();
    cache.waitForIdle();

    EXPECT_TRUE(QFileInfo::exists(cache.fileFor(capitals.id)));
    EXPECT_TRUE(QFileInfo::exists(cache.fileFor(oddImage.id)));
    EXPECT_FALSE(QFileInfo::exists(cache.fileFor(pdf.id)));
    EXPECT_FALSE(QFileInfo::exists(cache.fileFor(text.id)));
    EXPECT_TRUE(QFileInfo::exists(cache.fileFor(library.last().id)));
}

TEST(PreparedPreviewCache, PreparesOnceAndServesFromMemoryAndFile)
{
    const QString sources = test::makeTempDirectory();
    const QString root = test::makeTempDirectory();
    auto thumbnails = std::make_shared<ThumbnailCache>(QDir(root).filePath("Thumbnails"));
    const QString folder = QDir(root).filePath("PreparedPreviews");
    const VeskItem large = itemWithFile(writePicture(sources, "large.jpg", {2400, 1600}));
    const VeskItem modest = itemWithFile(writePicture(sources, "modest.png", {1200, 900}));
    {
        PreparedPreviewCache cache(folder, thumbnails);
        EXPECT_EQ(resultOf(cache.preparedImage(large)).size(), QSize(1800, 1200));
        cache.waitForIdle();
        EXPECT_EQ(QFileInfo(cache.previewFileFor(large.id)).fileName(), "v3-" + uuidString(large.id) + ".png");
        EXPECT_TRUE(QFileInfo::exists(cache.previewFileFor(large.id)));
        EXPECT_EQ(resultOf(cache.preparedImage(modest)).size(), QSize(1200, 900));
        QFile::remove(*large.filePath);
        EXPECT_EQ(resultOf(cache.preparedImage(large)).size(), QSize(1800, 1200));
    }
    PreparedPreviewCache relaunched(folder, thumbnails);
    EXPECT_EQ(resultOf(relaunched.preparedImage(large)).size(), QSize(1800, 1200));
}

TEST(PreparedPreviewCache, FallsBackToTheThumbnailWithoutKeepingIt)
{
    const QString sources = test::makeTempDirectory();
    const QString root = test::makeTempDirectory();
    auto thumbnails = std::make_shared<ThumbnailCache>(QDir(root).filePath("Thumbnails"));
    PreparedPreviewCache cache(QDir(root).filePath("PreparedPreviews"), thumbnails);

    VeskItem item = itemWithFile(writePicture(sources, "card.jpg", {800, 600}));
    ASSERT_EQ(resultOf(thumbnails->thumbnail(item, 520)).size(), QSize(520, 390));
    QFile::remove(*item.filePath);

    // The card's 520 thumbnail is what the preview gets when the source is gone.
    EXPECT_EQ(resultOf(cache.preparedImage(item)).size(), QSize(520, 390));
    cache.waitForIdle();
    EXPECT_FALSE(QFileInfo::exists(cache.previewFileFor(item.id)));

    item.filePath.reset();
    EXPECT_EQ(resultOf(cache.preparedImage(item)).size(), QSize(520, 390));
    EXPECT_TRUE(resultOf(cache.preparedImage(itemWithFile(std::nullopt))).isNull());

    PreparedPreviewCache withoutThumbnails(QDir(root).filePath("Other"), nullptr);
    EXPECT_TRUE(resultOf(withoutThumbnails.preparedImage(item)).isNull());
}

TEST(PreparedPreviewCache, RemovalDeletesEveryVersionOfTheItemsPreviewOnly)
{
    const QString sources = test::makeTempDirectory();
    const QString root = test::makeTempDirectory();
    const QString folder = QDir(root).filePath("PreparedPreviews");
    PreparedPreviewCache cache(folder, nullptr);

    const VeskItem item = itemWithFile(writePicture(sources, "photo.png", {300, 300}));
    const VeskItem other = itemWithFile(writePicture(sources, "other.png", {300, 300}));
    // A file of an older cache version is ignored: a v3 file is written beside it.
    QDir().mkpath(folder);
    const QString olderVersion = QDir(folder).filePath("v2-" + uuidString(item.id) + ".png");
    QImage(10, 10, QImage::Format_RGB32).save(olderVersion);
    EXPECT_EQ(resultOf(cache.preparedImage(item)).size(), QSize(300, 300));
    resultOf(cache.preparedImage(other));
    cache.waitForIdle();
    EXPECT_TRUE(QFileInfo::exists(cache.previewFileFor(item.id)));

    resultOf(cache.removePreparedPreview(item.id));
    EXPECT_FALSE(QFileInfo::exists(cache.previewFileFor(item.id)));
    EXPECT_FALSE(QFileInfo::exists(olderVersion));
    EXPECT_TRUE(QFileInfo::exists(cache.previewFileFor(other.id)));

    // Memory forgot it too: with the source gone there is nothing left to show.
    QFile::remove(*item.filePath);
    EXPECT_TRUE(resultOf(cache.preparedImage(item)).isNull());
}
