#include "timeline/PhotoDates.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "timeline/VeskTimelinePhoto.h"

#include "TimelineTestSupport.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <atomic>

namespace vesk {
namespace {

using test::localTime;
using test::photoItem;
using test::writePhoto;

const QDateTime kImported(QDate(2026, 1, 10), QTime(9, 0), Qt::UTC);
const FileBirthTimeReader kNoBirthTime = [](const QString&) { return std::optional<QDateTime>(); };

TEST(PhotoDates, ExifThenCaptureNameThenBirthTime)
{
    const QString folder = test::makeTempDirectory();
    // EXIF wins over a capture name in the file's own name and over an old birth time.
    const QString tagged = writePhoto(folder, QStringLiteral("Vesk-Photo-2001-01-01-000000.jpg"), {32, 32},
                                      "2019:07:14 09:30:00");
    const auto old = [](const QString&) { return std::optional<QDateTime>(QDateTime(QDate(2000, 1, 1), QTime(), Qt::UTC)); };
    EXPECT_EQ(readPhotoDate(tagged, kImported, QString(), old), localTime(2019, 7, 14, 9, 30, 0));

    // Without EXIF: the capture name in the file's name, in any case.
    const QString named = writePhoto(folder, QStringLiteral("vesk-photo-2021-12-24-183000.png"));
    EXPECT_EQ(readPhotoDate(named, kImported, QString(), kNoBirthTime), localTime(2021, 12, 24, 18, 30, 0));
    // ... or in the searchable text, which is looked at before the name.
    const QString plain = writePhoto(folder, QStringLiteral("plain.png"));
    EXPECT_EQ(readPhotoDate(plain, kImported, QStringLiteral("from VESK-NOTE-2020-02-03-040506"), kNoBirthTime),
              localTime(2020, 2, 3, 4, 5, 6));

    // A WebP file's EXIF counts as well: the timeline has no extension list for it.
    QImage webp(16, 16, QImage::Format_RGB32);
    webp.fill(Qt::red);
    const QString webpPath = folder + QStringLiteral("/tagged.webp");
    if (webp.save(webpPath, "WEBP")) {
        test::writeExifDateTimeOriginal(webpPath, "2018:03:04 05:06:07");
        EXPECT_EQ(readPhotoDate(webpPath, kImported, QString(), kNoBirthTime), localTime(2018, 3, 4, 5, 6, 7));
    }
}

TEST(PhotoDates, BirthTimeNeedsMoreThanTheMargin)
{
    const QString folder = test::makeTempDirectory();
    // Month 13 does not parse: the birth time decides.
    const QString badName = writePhoto(folder, QStringLiteral("Vesk-Photo-2021-13-24-183000.png"));
    const auto bornAt = [](qint64 secondsBeforeImport) {
        return [secondsBeforeImport](const QString&) {
            return std::optional<QDateTime>(kImported.addSecs(-secondsBeforeImport));
        };
    };
    EXPECT_FALSE(readPhotoDate(badName, kImported, QString(), bornAt(299)).has_value());
    EXPECT_FALSE(readPhotoDate(badName, kImported, QString(), bornAt(300)).has_value());
    EXPECT_EQ(readPhotoDate(badName, kImported, QString(), bornAt(301)), kImported.addSecs(-301));
    EXPECT_FALSE(readPhotoDate(badName, kImported, QString(), bornAt(-60)).has_value());

    // A missing file has no date at all.
    EXPECT_FALSE(readPhotoDate(folder + QStringLiteral("/gone.jpg"), kImported, QString()).has_value());
}

TEST(TimelineMediaCache, DatesAreReadOncePerPathFailuresIncluded)
{
    std::atomic<int> reads{0};
    VeskTimelineMediaCache cache([&](const QString& path, const QDateTime& importedAt, const QString&) {
        ++reads;
        if (path.endsWith(QLatin1String("undated.jpg")))
            return std::optional<QDateTime>();
        return std::optional<QDateTime>(importedAt.addDays(-1));
    });
    const VeskItem dated = photoItem(QStringLiteral("/x/dated.jpg"));
    const VeskItem undated = photoItem(QStringLiteral("/x/undated.jpg"));
    EXPECT_EQ(cache.photoDate(dated), dated.createdAt.addDays(-1));
    EXPECT_FALSE(cache.photoDate(undated).has_value());
    for (int i = 0; i < 3; ++i) {
        cache.photoDate(dated);
        cache.photoDate(undated);
    }
    EXPECT_EQ(reads.load(), 2);

    // Keyed by path alone: another item at the same path gets the first answer.
    VeskItem samePath = photoItem(dated.filePath);
    samePath.createdAt = dated.createdAt.addYears(-5);
    EXPECT_EQ(cache.photoDate(samePath), dated.createdAt.addDays(-1));

    // No file: no date, nothing read or remembered.
    EXPECT_FALSE(cache.photoDate(photoItem(std::nullopt)).has_value());
    EXPECT_EQ(reads.load(), 2);

    // Many threads asking at once all get the same answers.
    QList<VeskItem> items;
    for (int i = 0; i < 200; ++i)
        items.append(photoItem(QStringLiteral("/y/%1.jpg").arg(i % 20)));
    std::atomic<int> dated20{0};
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    QtConcurrent::blockingMap(&pool, items, [&](const VeskItem& item) {
        if (cache.photoDate(item))
            ++dated20;
    });
    EXPECT_EQ(dated20.load(), 200);
    EXPECT_GE(reads.load(), 2 + 20);
}

TEST(TimelineOrder, DatedFirstOldestFirstThenByImport)
{
    const QDateTime base(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
    auto item = [&](const QString& name, int importDay) {
        VeskItem made = photoItem(QStringLiteral("/p/") + name, name, base.addDays(importDay));
        return made;
    };
    const QHash<QString, QDateTime> taken{
        {QStringLiteral("/p/2019"), QDateTime(QDate(2019, 1, 1), QTime(), Qt::UTC)},
        {QStringLiteral("/p/2015"), QDateTime(QDate(2015, 1, 1), QTime(), Qt::UTC)},
        {QStringLiteral("/p/2015-late-import"), QDateTime(QDate(2015, 1, 1), QTime(), Qt::UTC)},
    };
    const PhotoDateLookup lookup = [&](const VeskItem& it) -> std::optional<QDateTime> {
        const auto found = taken.constFind(*it.filePath);
        return found == taken.constEnd() ? std::nullopt : std::optional<QDateTime>(*found);
    };
    // Newest first, as the store lists them.
    QList<VeskItem> items{item(QStringLiteral("undated-new"), 9), item(QStringLiteral("2015-late-import"), 8),
                          item(QStringLiteral("2019"), 7), item(QStringLiteral("undated-old"), 1),
                          item(QStringLiteral("2015"), 2)};
    // Two undated photos imported at the same moment keep the store's order.
    VeskItem twinA = item(QStringLiteral("twin-a"), 5);
    VeskItem twinB = item(QStringLiteral("twin-b"), 5);
    items.append(twinA);
    items.append(twinB);

    QList<VeskTimelinePhoto> photos = timelinePhotos(items);
    sortChronologically(photos, lookup);
    QStringList titles;
    for (const VeskTimelinePhoto& photo : photos)
        titles.append(photo.item.title);
    EXPECT_EQ(titles, (QStringList{"2015", "2015-late-import", "2019", "undated-old", "twin-a", "twin-b",
                                   "undated-new"}));

    for (const VeskTimelinePhoto& photo : photos) {
        EXPECT_FALSE(photo.occurrenceID.has_value());
        EXPECT_EQ(photo.identity(), photo.item.id);
    }
    const QUuid copy = QUuid::createUuid();
    EXPECT_EQ((VeskTimelinePhoto{items.first(), copy}).identity(), copy);
}

} // namespace
} // namespace vesk
