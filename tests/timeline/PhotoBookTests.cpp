#include "timeline/PhotoBook.h"
#include "timeline/VeskTimelineMediaCache.h"

#include "platform/DateTexts.h"
#include "platform/Log.h"

#include "TimelineTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>
#include <memory>
#include <poppler-qt6.h>

namespace vesk {
namespace {

using test::photoItem;
using test::writePhoto;

struct Book {
    std::unique_ptr<Poppler::Document> document;
    int pages() const { return document ? document->numPages() : -1; }
    QString text(int page) const { return document->page(page)->text(QRectF()); }
    QImage render(int page) const { return document->page(page)->renderToImage(72, 72); }
};

Book openBook(const QString& path)
{
    return Book{Poppler::Document::load(path)};
}

// The box of the clearly red pixels of a page rendered at one pixel per point.
QRect redBox(const QImage& page)
{
    QRect box;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90)
                box = box.united(QRect(x, y, 1, 1));
        }
    }
    return box;
}

void expectBox(const QRect& box, const QRectF& expected)
{
    EXPECT_NEAR(box.left(), expected.left(), 2.0);
    EXPECT_NEAR(box.right() + 1, expected.right(), 2.0);
    EXPECT_NEAR(box.top(), expected.top(), 2.0);
    EXPECT_NEAR(box.bottom() + 1, expected.bottom(), 2.0);
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".vesk-photo-book-*")}, QDir::Files | QDir::Hidden);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(PhotoBook, TitlePagePhotoPagesAndTheirTexts)
{
    const QString folder = test::makeTempDirectory();
    const QDateTime imported(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC);
    const VeskItem wide = photoItem(writePhoto(folder, QStringLiteral("wide.jpg"), {800, 400}, "2019:07:14 09:30:00", Qt::red),
                                    QStringLiteral("Beach day"), imported);
    const VeskItem tall = photoItem(writePhoto(folder, QStringLiteral("tall.png"), {300, 600}, nullptr, Qt::red),
                                    QStringLiteral("Tall one"), imported);
    const VeskItem tiny = photoItem(writePhoto(folder, QStringLiteral("tiny.png"), {10, 5}, nullptr, Qt::red),
                                    QStringLiteral("Tiny"), imported);
    // The same photo twice: the second is a pasted copy and gets a page of its own.
    const QList<VeskTimelinePhoto> photos{{wide, std::nullopt}, {tall, std::nullopt}, {tiny, std::nullopt},
                                          {wide, QUuid::createUuid()}};
    VeskTimelineMediaCache cache;
    const PhotoDateLookup dates = [&](const VeskItem& item) { return cache.photoDate(item); };
    const QString destination = folder + QStringLiteral("/Zoë - Through the Years.pdf");

    // The export runs off the main thread, as the timeline runs it.
    const auto result = QtConcurrent::run([&] { return writePhotoBook(photos, QStringLiteral("Zoë"), destination, dates); }).result();
    ASSERT_TRUE(result.hasValue()) << result.error().description().toStdString();
    EXPECT_TRUE(leftovers(folder).isEmpty());

    const Book book = openBook(destination);
    ASSERT_EQ(book.pages(), 5);
    const QSizeF letter = book.document->page(0)->pageSizeF();
    EXPECT_NEAR(letter.width(), 612, 0.5);
    EXPECT_NEAR(letter.height(), 792, 0.5);

    const QString title = book.text(0);
    EXPECT_TRUE(title.contains(QStringLiteral("Zoë — Through the Years"))) << title.toStdString();
    EXPECT_TRUE(title.contains(QStringLiteral("A memory book from Vesk Ruzi")));
    EXPECT_TRUE(title.contains(QStringLiteral("4 photographs")));

    const QString first = book.text(1);
    EXPECT_TRUE(first.contains(longDateText(test::localTime(2019, 7, 14, 9, 30, 0)))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("Beach day")));
    EXPECT_TRUE(first.contains(QStringLiteral("Imported ") + abbreviatedDateText(imported)));
    EXPECT_TRUE(first.simplified().contains(QStringLiteral("• 1")));
    EXPECT_TRUE(book.text(2).contains(QStringLiteral("Date unknown")));
    EXPECT_TRUE(book.text(4).contains(QStringLiteral("Beach day")));
    EXPECT_TRUE(book.text(4).simplified().contains(QStringLiteral("• 4")));

    // The picture is fitted into the 516 by 535 point frame whose lower edge is 165 points up.
    const qreal frameTop = 792 - 165 - 535;
    const QPointF centre(48 + 516 / 2.0, frameTop + 535 / 2.0);
    auto fitted = [&](qreal w, qreal h) {
        QRectF box(0, 0, w, h);
        box.moveCenter(centre);
        return box;
    };
    expectBox(redBox(book.render(1)), fitted(516, 258));        // landscape: held by the width
    expectBox(redBox(book.render(2)), fitted(535 / 2.0, 535));  // portrait: held by the height
    expectBox(redBox(book.render(3)), fitted(516, 258));        // tiny: enlarged to the frame
}

TEST(PhotoBook, AnEmptyTimelineGivesATitlePageOnly)
{
    const QString folder = test::makeTempDirectory();
    const QString destination = folder + QStringLiteral("/empty.pdf");
    ASSERT_TRUE(writePhotoBook({}, QStringLiteral("Nobody"), destination, {}).hasValue());
    const Book book = openBook(destination);
    ASSERT_EQ(book.pages(), 1);
    EXPECT_TRUE(book.text(0).contains(QStringLiteral("0 photographs")));
}

TEST(PhotoBook, FailuresLeaveTheDestinationAsItWas)
{
    QStringList logged;
    setVeskLogCapture([&](const QString& line) { logged.append(line); });
    const QString folder = test::makeTempDirectory();
    const QString destination = folder + QStringLiteral("/book.pdf");
    const QByteArray earlier("an earlier book, byte for byte");
    test::writeBytes(folder, QStringLiteral("book.pdf"), earlier);

    const VeskItem good = photoItem(writePhoto(folder, QStringLiteral("good.png")), QStringLiteral("Good"));
    const VeskItem broken = photoItem(test::writeBytes(folder, QStringLiteral("broken.jpg"), "no picture here"),
                                      QStringLiteral("Broken one"));
    const VeskItem missing = photoItem(folder + QStringLiteral("/missing.jpg"), QStringLiteral("Missing"));
    const VeskItem fileless = photoItem(std::nullopt, QStringLiteral("No file"));

    for (const VeskItem& bad : {broken, missing, fileless}) {
        const auto result = writePhotoBook({{good, std::nullopt}, {bad, std::nullopt}}, QStringLiteral("Ann"),
                                           destination, {});
        ASSERT_FALSE(result.hasValue());
        EXPECT_EQ(result.error().kind, PhotoBookFailure::Kind::UnreadablePhoto);
        EXPECT_EQ(result.error().description(), QStringLiteral("Could not render the photograph \u201C") + bad.title
                                                     + QStringLiteral("\u201D. The photo book was not saved."));
        EXPECT_EQ(readAll(destination), earlier);
        EXPECT_TRUE(leftovers(folder).isEmpty());
    }

    // A folder that does not exist cannot hold the temporary file.
    const auto nowhere = writePhotoBook({}, QStringLiteral("Ann"), folder + QStringLiteral("/no/such/book.pdf"), {});
    ASSERT_FALSE(nowhere.hasValue());
    EXPECT_EQ(nowhere.error().description(), QStringLiteral("The PDF destination could not be opened."));

    // A folder in the way of the destination: the move fails with the system's words and the
    // book written so far is removed.
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("taken.pdf")));
    test::writeBytes(folder + QStringLiteral("/taken.pdf"), QStringLiteral("inside"), "x");
    const auto blocked = writePhotoBook({{good, std::nullopt}}, QStringLiteral("Ann"), folder + QStringLiteral("/taken.pdf"), {});
    ASSERT_FALSE(blocked.hasValue());
    EXPECT_EQ(blocked.error().kind, PhotoBookFailure::Kind::FileSystem);
    EXPECT_FALSE(blocked.error().description().isEmpty());
    EXPECT_TRUE(leftovers(folder).isEmpty());

    // A successful export replaces the earlier book.
    ASSERT_TRUE(writePhotoBook({{good, std::nullopt}}, QStringLiteral("Ann"), destination, {}).hasValue());
    EXPECT_TRUE(readAll(destination).startsWith("%PDF"));
    EXPECT_EQ(openBook(destination).pages(), 2);
    EXPECT_TRUE(leftovers(folder).isEmpty());

    setVeskLogCapture({});
    EXPECT_EQ(logged.filter(QStringLiteral("Vesk photo book error for ")).size(), 5);
}

// A crash while the book is drawn (the process killed the way a power cut ends it) leaves
// nothing in the destination folder, not even a hidden file.
TEST(PhotoBook, AnExportCutShortLeavesNothingInTheFolder)
{
    const QString folder = test::makeTempDirectory();
    const QString photos = test::makeTempDirectory();
    const QString photo = writePhoto(photos, QStringLiteral("photo.png"));
    QProcess child;
    child.start(QStringLiteral(VESK_FAULT_CHILD), {QStringLiteral("photobook"), folder + QStringLiteral("/book.pdf"), photo});
    ASSERT_TRUE(child.waitForStarted(5000));
    // Killed a few pages into the book.
    QByteArray pages;
    while (pages.count('\n') < 3 && child.waitForReadyRead(10'000))
        pages += child.readAllStandardOutput();
    child.kill();
    child.waitForFinished(5000);
    ASSERT_GE(pages.count('\n'), 3) << "the book was never seen being drawn";
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

} // namespace
} // namespace vesk
