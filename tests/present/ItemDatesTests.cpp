#include "present/DisplayTitles.h"
#include "present/ItemDates.h"

#include "common/ExifFixtures.h"
#include "common/TestEnvironment.h"

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>


namespace vesk {
namespace {

QString writeImage(const QString& name, const char* format, const char* exifDate)
{
    const QString path = test::makeTempDirectory() + QLatin1Char('/') + name;
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    EXPECT_TRUE(image.save(path, format));
    if (exifDate) {
        test::writeExifDateTimeOriginal(path, exifDate);
    }
    return path;
}

VeskItem itemAt(const std::optional<QString>& path, const QString& searchable = {})
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Image;
    item.filePath = path;
    item.searchableText = searchable;
    item.createdAt = QDateTime(QDate(2026, 1, 10), QTime(9, 0), Qt::UTC);
    return item;
}

QDateTime local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime).toUTC();
}

const FileDateReader kNoFileDate = [](const VeskItem&) { return std::optional<QDateTime>(); };

TEST(ItemDates, ExifCaptureTimeWinsOverNameAndFileDate)
{
    const QString jpeg = writeImage(QStringLiteral("Vesk-Photo-2001-01-01-000000.jpg"), "JPEG", "2019:07:04 18:30:00");
    const VeskItem item = itemAt(jpeg, QStringLiteral("Vesk-Photo-2001-01-01-000000"));
    const auto date = contentCreationDate(item, [](const VeskItem&) {
        return std::optional<QDateTime>(QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC));
    });
    ASSERT_TRUE(date.has_value());
    EXPECT_EQ(*date, local(2019, 7, 4, 18, 30, 0));

    // A malformed EXIF value passes on to the capture name.
    const QString broken = writeImage(QStringLiteral("b.jpeg"), "JPEG", "2019:13:04 18:30:00");
    const auto named = contentCreationDate(itemAt(broken, QStringLiteral("Vesk-Note-2020-02-03-040506")), kNoFileDate);
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(*named, local(2020, 2, 3, 4, 5, 6));
}

TEST(ItemDates, ExifIsOnlyAskedOfItsExtensions)
{
    // A GIF renamed so it would carry EXIF is never read for it; a JPEG without the tag has none.
    const QString plain = writeImage(QStringLiteral("plain.jpg"), "JPEG", nullptr);
    EXPECT_FALSE(exifCaptureDate(plain).has_value());
    const QString tagged = writeImage(QStringLiteral("tagged.jpg"), "JPEG", "2018:01:02 03:04:05");
    const QString gifPath = tagged.left(tagged.size() - 3) + QStringLiteral("gif");
    ASSERT_TRUE(QFile::copy(tagged, gifPath));
    EXPECT_FALSE(exifCaptureDate(gifPath).has_value());
    EXPECT_TRUE(exifCaptureDate(tagged).has_value());
    EXPECT_FALSE(exifCaptureDate(QStringLiteral("/nonexistent/x.jpg")).has_value());

    // Not an image at all behind an image name.
    const QString fake = test::makeTempDirectory() + QStringLiteral("/fake.png");
    QFile file(fake);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    EXPECT_FALSE(exifCaptureDate(fake).has_value());
}

TEST(ItemDates, CaptureNames)
{
    EXPECT_EQ(captureNameDate(QStringLiteral("from vesk-video-2025-12-31-235959 clip")), local(2025, 12, 31, 23, 59, 59));
    EXPECT_EQ(captureNameDate(QStringLiteral("Vesk-Photo-2025-03-14-091502")), local(2025, 3, 14, 9, 15, 2));
    EXPECT_FALSE(captureNameDate(QStringLiteral("Vesk-Photo-2025-13-14-091502")).has_value());
    EXPECT_FALSE(captureNameDate(QStringLiteral("Vesk-Photo-2025-02-30-091502")).has_value());
    EXPECT_FALSE(captureNameDate(QStringLiteral("Vesk-Image-2025-03-14-091502")).has_value());
    EXPECT_FALSE(captureNameDate(QStringLiteral("Vesk-Photo-2025-03-14-0915")).has_value());
}

TEST(ItemDates, ChainOrderAndMargin)
{
    const VeskItem noPath = itemAt(std::nullopt, QStringLiteral("Vesk-Photo-2025-03-14-091502"));
    EXPECT_FALSE(contentCreationDate(noPath, kNoFileDate).has_value());

    // Month 13 in the capture name goes on to the file date.
    VeskItem item = itemAt(QStringLiteral("/managed/shot.gif"), QStringLiteral("Vesk-Photo-2025-13-14-091502"));
    const QDateTime old = item.createdAt.addDays(-30);
    EXPECT_EQ(contentCreationDate(item, [&](const VeskItem&) { return std::optional<QDateTime>(old); }), old);

    EXPECT_FALSE(acceptsFileCreationDate(item.createdAt.addSecs(-300), item.createdAt));
    EXPECT_TRUE(acceptsFileCreationDate(item.createdAt.addSecs(-301), item.createdAt));
    EXPECT_FALSE(acceptsFileCreationDate(item.createdAt.addSecs(10), item.createdAt));
    const QDateTime fresh = item.createdAt.addSecs(-300);
    EXPECT_FALSE(contentCreationDate(item, [&](const VeskItem&) { return std::optional<QDateTime>(fresh); }).has_value());
}

TEST(ItemDates, CardLinesAndMemo)
{
    int reads = 0;
    ContentCreationDateCache cache([&](const VeskItem& it) {
        ++reads;
        return std::optional<QDateTime>(it.createdAt.addDays(-400));
    });
    VeskItem item = itemAt(QStringLiteral("/managed/screen.png"));
    const VeskCardDates lines = cache.cardDates(item);
    EXPECT_EQ(lines.importedLine, QStringLiteral("Imported (") + abbreviatedDateText(item.createdAt) + QLatin1Char(')'));
    EXPECT_EQ(lines.createdLine, QStringLiteral("Created (") + abbreviatedDateText(item.createdAt.addDays(-400)) + QLatin1Char(')'));
    cache.cardDates(item);
    cache.dateFor(item);
    EXPECT_EQ(reads, 1);

    // A new path (a moved managed copy) is looked at again.
    item.filePath = QStringLiteral("/managed/other.png");
    cache.dateFor(item);
    EXPECT_EQ(reads, 2);

    EXPECT_EQ(cardDatesFor(itemAt(std::nullopt), std::nullopt).createdLine, QStringLiteral("Created (Unknown)"));

    // Without reading a file: known for an item without one, or once read elsewhere and stored.
    const VeskItem note = itemAt(std::nullopt);
    EXPECT_EQ(cache.knownCardDates(note)->createdLine, QStringLiteral("Created (Unknown)"));
    VeskItem fresh = itemAt(QStringLiteral("/managed/new.png"));
    EXPECT_FALSE(cache.knownCardDates(fresh).has_value());
    const std::optional<QDateTime> read = cache.readDate(fresh);
    EXPECT_FALSE(cache.knownCardDates(fresh).has_value());
    cache.store(fresh, read);
    EXPECT_EQ(cache.knownCardDates(fresh)->createdLine, cache.cardDates(fresh).createdLine);
    EXPECT_EQ(reads, 3);

    // A document's long text is known by its buffer; a text that changed is still noticed,
    // whether it arrives in a new buffer or an equal text comes in another one.
    VeskItem document = itemAt(QStringLiteral("/managed/report.pdf"));
    document.searchableText = ItemText(QString(100'000, QLatin1Char('a')));
    cache.store(document, cache.readDate(document));
    EXPECT_TRUE(cache.knownCardDates(document).has_value());
    EXPECT_TRUE(cache.knownCardDates(document).has_value());
    VeskItem sameText = document;
    sameText.searchableText = ItemText(QString(100'000, QLatin1Char('a')));
    ASSERT_FALSE(sameText.searchableText.isSharedWith(document.searchableText));
    EXPECT_TRUE(cache.knownCardDates(sameText).has_value());
    VeskItem edited = document;
    edited.searchableText = ItemText(QString(99'999, QLatin1Char('a')) + QLatin1Char('b'));
    EXPECT_FALSE(cache.knownCardDates(edited).has_value());
    EXPECT_TRUE(cache.knownCardDates(document).has_value());

    // The text kept of an item no longer shown goes.
    const ItemText held = document.searchableText;
    document = {};
    sameText = {};
    edited = {};
    EXPECT_FALSE(held.utf8().isDetached());
    cache.keepLongTextsOnly({});
    EXPECT_TRUE(held.utf8().isDetached());
}

} // namespace
} // namespace vesk
