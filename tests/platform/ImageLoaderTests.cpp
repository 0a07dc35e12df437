#include "common/HeicFile.h"
#include "common/TestEnvironment.h"
#include "platform/FileThumbnailer.h"
#include "platform/TextPageThumbnail.h"
#include "platform/ImageLoader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

// Left half red, right half blue: after a quarter turn the halves tell which way it went.
QImage halvesImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return image;
}

bool isReddish(QRgb pixel)
{
    return qRed(pixel) > 180 && qBlue(pixel) < 90 && qGreen(pixel) < 90;
}

bool isBluish(QRgb pixel)
{
    return qBlue(pixel) > 180 && qRed(pixel) < 90 && qGreen(pixel) < 90;
}

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

TEST(FileThumbnailer, RendersPicturesAndThePdfsFirstPage)
{
    const QString folder = test::makeTempDirectory();
    const QString picture = QDir(folder).filePath("wide.png");
    ASSERT_TRUE(halvesImage(400, 100).save(picture));
    const FileThumbnail pictureThumb = FileThumbnailer::thumbnail(picture, QSize(220, 88));
    ASSERT_FALSE(pictureThumb.isIcon());
    EXPECT_EQ(pictureThumb.image.size(), QSize(220, 55));

    const QString pdf = QDir(folder).filePath("two-pages.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(72);
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::red);
        writer.newPage();
        painter.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::blue);
    }
    const FileThumbnail pdfThumb = FileThumbnailer::thumbnail(pdf, QSize(220, 220));
    ASSERT_FALSE(pdfThumb.isIcon());
    EXPECT_LE(pdfThumb.image.width(), 220);
    EXPECT_GE(pdfThumb.image.height(), 200); // A4 is portrait: the height fills the bounds
    EXPECT_LE(pdfThumb.image.height(), 220);
    EXPECT_TRUE(isReddish(pdfThumb.image.pixel(pdfThumb.image.width() / 2, pdfThumb.image.height() / 2)));
    EXPECT_EQ(pdfThumb.iconName, QStringLiteral("application-pdf"));
}

TEST(FileThumbnailer, TextFilesAndWebPagesShowTheirFirstLines)
{
    const QString folder = test::makeTempDirectory();
    const auto write = [&](const char* name, const QByteArray& bytes) {
        return test::writeFile(QDir(folder).filePath(QString::fromLatin1(name)), bytes);
    };
    const QString notes = write("notes.txt", "Shopping list\n\tmilk\r\n\teggs\n");
    const QString page = write("page.html",
        "<html><head><title>T</title><style>body { color: red }</style><script>var hidden = 1;</script></head>"
        "<body><h1>Harbour walk</h1><!-- a comment --><p>We met at the <b>old pier</b>.</p></body></html>");
    const QString empty = write("empty.txt", "");

    // What the page says, without its markup, styles or scripts.
    QFile html(page);
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QString visible = textPageText(html.readAll(), TextPageSource::Html);
    EXPECT_TRUE(visible.contains(QStringLiteral("Harbour walk\nWe met at the old pier."))) << visible.toStdString();
    EXPECT_FALSE(visible.contains(QStringLiteral("hidden")));
    EXPECT_FALSE(visible.contains(QStringLiteral("color")));
    EXPECT_FALSE(visible.contains(QStringLiteral("comment")));
    EXPECT_EQ(textPageText("Shopping list\n\tmilk\r\n", TextPageSource::PlainText),
              QStringLiteral("Shopping list\n    milk"));
    EXPECT_EQ(textPageText("caf\xe9 au lait", TextPageSource::PlainText), QStringLiteral("caf\u00e9 au lait"));

    for (const QString& path : {notes, page}) {
        const FileThumbnail thumb = FileThumbnailer::thumbnail(path, QSize(220, 176));
        ASSERT_FALSE(thumb.isIcon()) << path.toStdString();
        EXPECT_LE(thumb.image.width(), 220);
        EXPECT_EQ(thumb.image.height(), 176); // a page in portrait fills the height
        // A white page with dark writing on it.
        int dark = 0;
        for (int y = 0; y < thumb.image.height(); ++y)
            for (int x = 0; x < thumb.image.width(); ++x)
                dark += qGray(thumb.image.pixel(x, y)) < 160;
        EXPECT_GT(dark, 20) << path.toStdString();
        EXPECT_EQ(qGray(thumb.image.pixel(thumb.image.width() - 3, thumb.image.height() - 3)), 255);
    }
    // Nothing to show: the type's icon, as for any other file.
    EXPECT_TRUE(FileThumbnailer::thumbnail(empty, QSize(220, 176)).isIcon());
}

TEST(FileThumbnailer, FallsBackToTheTypesIcon)
{
    const QString folder = test::makeTempDirectory();
    const FileThumbnail missing = FileThumbnailer::thumbnail(QDir(folder).filePath("gone.pdf"), QSize(220, 88));
    EXPECT_TRUE(missing.isIcon());
    EXPECT_EQ(missing.iconName, QStringLiteral("application-pdf"));

    // A damaged PDF and an unknown binary both end at an icon, never at a crash or a blank.
    QFile broken(QDir(folder).filePath("broken.pdf"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("%PDF-1.4 this is not really a document");
    broken.close();
    EXPECT_TRUE(FileThumbnailer::thumbnail(broken.fileName(), QSize(220, 88)).isIcon());

    QFile blob(QDir(folder).filePath("data.bin"));
    ASSERT_TRUE(blob.open(QIODevice::WriteOnly));
    blob.write(QByteArray(64, '\0'));
    blob.close();
    const FileThumbnail blobThumb = FileThumbnailer::thumbnail(blob.fileName(), QSize(220, 88));
    EXPECT_TRUE(blobThumb.isIcon());
    EXPECT_FALSE(blobThumb.iconName.isEmpty());
    EXPECT_FALSE(blobThumb.genericIconName.isEmpty());

    EXPECT_TRUE(FileThumbnailer::videoFrame(blob.fileName(), QSize(220, 88)).isNull());
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
