#include "common/HeicFile.h"
#include "common/TestEnvironment.h"
#include "common/TestPictures.h"
#include "platform/image/ImageLoader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

using namespace vesk;
using vesk::test::halvesImage;
using vesk::test::isBluish;
using vesk::test::isReddish;

namespace {

QString writeJpegWithOrientation(const QString& folder, int width, int height, uint16_t orientation)
{
    const QString path = QDir(folder).filePath(QStringLiteral("oriented.jpg"));
    EXPECT_TRUE(halvesImage(width, height).save(path, "JPEG", 95));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    exif["Exif.Image.Orientation"] = orientation;
    image->setExifData(exif);
    image->writeMetadata();
    return path;
}

// Encodes the halves picture as HEIC.
bool writeHeic(const QString& path, int width, int height)
{
    return vesk::test::writeHeic(path, halvesImage(width, height));
}

} // namespace

TEST(ImageLoader, TargetSizeFitsTheLongestSideAndNeverEnlarges)
{
    EXPECT_EQ(ImageLoader::targetSize({300, 200}, 520), QSize(300, 200));
    EXPECT_EQ(ImageLoader::targetSize({4000, 3000}, 520), QSize(520, 390));
    EXPECT_EQ(ImageLoader::targetSize({6000, 4000}, 1800), QSize(1800, 1200));
    EXPECT_EQ(ImageLoader::targetSize({1000, 1}, 520), QSize(520, 1));
    EXPECT_EQ(ImageLoader::targetSize({3000, 4000}, 520), QSize(390, 520));
    EXPECT_FALSE(ImageLoader::targetSize({0, 0}, 520).isValid());
    EXPECT_FALSE(ImageLoader::targetSize({10, 10}, 0).isValid());
    EXPECT_TRUE(downscaledImage(QImage(), 520).isNull());
}

TEST(ImageLoader, AppliesExifOrientationInFullAndScaledDecodes)
{
    const QString folder = test::makeTempDirectory();
    // 6: the stored picture must be turned a quarter clockwise, so its left half ends on top.
    const QString path = writeJpegWithOrientation(folder, 80, 40, 6);

    EXPECT_EQ(ImageLoader::imageSize(path), QSize(40, 80));
    const QImage full = ImageLoader::load(path);
    ASSERT_EQ(full.size(), QSize(40, 80));
    EXPECT_TRUE(isReddish(full.pixel(20, 10)));
    EXPECT_TRUE(isBluish(full.pixel(20, 70)));

    const QImage small = ImageLoader::load(path, 20);
    ASSERT_EQ(small.size(), QSize(10, 20));
    EXPECT_TRUE(isReddish(small.pixel(5, 3)));
    EXPECT_TRUE(isBluish(small.pixel(5, 17)));
}

TEST(ImageLoader, DecodesHeicTiffAndWebp)
{
    for (const char* format : {"tiff", "webp"}) {
        const QString path = QDir(test::makeTempDirectory()).filePath(QStringLiteral("scan.") + format);
        ASSERT_TRUE(halvesImage(60, 20).save(path, format, 100)) << format;
        EXPECT_EQ(ImageLoader::load(path, 30).size(), QSize(30, 10)) << format;
    }

    const QString path = QDir(test::makeTempDirectory()).filePath(QStringLiteral("photo.HEIC"));
    ASSERT_TRUE(writeHeic(path, 128, 64));

    EXPECT_EQ(ImageLoader::imageSize(path), QSize(128, 64));
    const QImage image = ImageLoader::load(path);
    ASSERT_EQ(image.size(), QSize(128, 64));
    EXPECT_TRUE(isReddish(image.pixel(16, 32)));
    EXPECT_TRUE(isBluish(image.pixel(112, 32)));
    EXPECT_EQ(ImageLoader::load(path, 32).size(), QSize(32, 16));
}

TEST(ImageLoader, UnreadableSourcesGiveNothing)
{
    const QString folder = test::makeTempDirectory();
    EXPECT_TRUE(ImageLoader::load(QDir(folder).filePath("missing.png")).isNull());
    EXPECT_TRUE(ImageLoader::load(QString()).isNull());
    EXPECT_TRUE(ImageLoader::load(folder).isNull()); // a folder is no picture

    for (const QString& name : {QStringLiteral("garbage.jpg"), QStringLiteral("garbage.heic")}) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        EXPECT_TRUE(ImageLoader::load(file.fileName()).isNull()) << name.toStdString();
        EXPECT_TRUE(ImageLoader::load(file.fileName(), 100).isNull()) << name.toStdString();
    }

    // A JPEG named .heic still opens: the name is a hint, not a promise.
    const QString misnamed = QDir(folder).filePath("really-a-jpeg.heic");
    ASSERT_TRUE(halvesImage(30, 10).save(misnamed, "JPEG"));
    EXPECT_EQ(ImageLoader::load(misnamed).size(), QSize(30, 10));
}

namespace {

TEST(ImageLoaderSvg, DrawingsAreDrawnAtTheSizeAskedFor)
{
    const QString folder = vesk::test::makeTempDirectory();
    const QString path = QDir(folder).filePath(QStringLiteral("icon.svg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<svg xmlns='http://www.w3.org/2000/svg' width='24' height='12'>"
               "<rect x='0' y='0' width='12' height='12' fill='red'/>"
               "<rect x='12' y='0' width='12' height='12' fill='blue'/></svg>");
    file.close();

    EXPECT_EQ(ImageLoader::imageSize(path), QSize(24, 12));
    // A small icon still makes a sharp thumbnail: it is drawn larger, not blown up.
    const QImage thumbnail = ImageLoader::load(path, 520);
    ASSERT_EQ(thumbnail.size(), QSize(520, 260));
    EXPECT_TRUE(isReddish(thumbnail.pixel(100, 130)));
    EXPECT_TRUE(isBluish(thumbnail.pixel(420, 130)));
    EXPECT_EQ(ImageLoader::load(path).size(), QSize(24, 12));

    const QString broken = QDir(folder).filePath(QStringLiteral("broken.svg"));
    QFile brokenFile(broken);
    ASSERT_TRUE(brokenFile.open(QIODevice::WriteOnly));
    brokenFile.write("<svg");
    brokenFile.close();
    EXPECT_TRUE(ImageLoader::load(broken, 520).isNull());
}

} // namespace
