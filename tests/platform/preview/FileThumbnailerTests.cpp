#include "common/TestEnvironment.h"
#include "common/TestPictures.h"
#include "platform/preview/FileThumbnailer.h"
#include "platform/preview/TextPageThumbnail.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <gtest/gtest.h>

using namespace vesk;
using vesk::test::halvesImage;
using vesk::test::isReddish;

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
