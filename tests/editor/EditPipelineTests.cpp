#include "common/TestEnvironment.h"
#include "common/TestPictures.h"
#include "editor/EditPipeline.h"
#include "editor/ImageEditSession.h"
#include "editor/MarkupPainting.h"
#include "platform/image/ImageLoader.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

using namespace vesk;
using vesk::test::isBluish;

namespace {

// Six distinct pixels, so every turn and mirror has one right answer:
//   A B C
//   D E F
const QRgb A = qRgb(255, 0, 0), B = qRgb(0, 255, 0), C = qRgb(0, 0, 255);
const QRgb D = qRgb(255, 255, 0), E = qRgb(0, 255, 255), F = qRgb(255, 0, 255);

QImage sixPixels()
{
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb pixels[2][3] = {{A, B, C}, {D, E, F}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, pixels[y][x]);
    return image;
}

// Reads an image row by row, top to bottom.
QList<QRgb> rows(const QImage& image)
{
    QList<QRgb> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels.append(image.pixel(x, y) | 0xff000000);
    return pixels;
}

QImage solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QRgb adjusted(QRgb pixel, double brightness, double contrast, double saturation)
{
    return adjustedPixel(pixel, ColourControls{brightness, contrast, saturation});
}

EditSettings withTurns(int turns, bool flipped = false)
{
    EditSettings settings;
    settings.quarterTurns = turns;
    settings.flippedHorizontally = flipped;
    return settings;
}

} // namespace

TEST(EditPipeline, QuarterTurnsAreClockwiseAndTakenModuloFour)
{
    const QImage source = sixPixels();
    const QImage right = renderEditedImage(source, withTurns(1));
    ASSERT_EQ(right.size(), QSize(2, 3));
    EXPECT_EQ(rows(right), (QList<QRgb>{D, A, E, B, F, C}));

    const QImage left = renderEditedImage(source, withTurns(-1));
    EXPECT_EQ(rows(left), (QList<QRgb>{C, F, B, E, A, D}));
    EXPECT_EQ(rows(left), rows(renderEditedImage(source, withTurns(3))));
    EXPECT_EQ(rows(renderEditedImage(source, withTurns(2))), (QList<QRgb>{F, E, D, C, B, A}));
    EXPECT_EQ(rows(renderEditedImage(source, withTurns(4))), rows(source));
    EXPECT_EQ(normalizedQuarterTurns(-5), 3);
}

TEST(EditPipeline, TheMirrorComesBeforeTheTurnsSoRightTurnsClockwiseWithOrWithoutIt)
{
    const QImage source = sixPixels();
    struct Case {
        int turns;
        QList<QRgb> rows;
    };
    // Mirrored, the picture reads C B A / F E D; the turns then act on what is seen.
    const Case mirrored[] = {
        {0, {C, B, A, F, E, D}},
        {1, {F, C, E, B, D, A}},
        {2, {D, E, F, A, B, C}},
        {3, {A, D, B, E, C, F}},
    };
    for (const Case& c : mirrored) {
        SCOPED_TRACE(c.turns);
        EXPECT_EQ(rows(renderEditedImage(source, withTurns(c.turns, true))), c.rows);
    }
    // "Right" after any state is a clockwise quarter turn of the picture as it was shown.
    for (const bool flipped : {false, true})
        for (int turns = 0; turns < 4; ++turns) {
            SCOPED_TRACE(QStringLiteral("flipped %1, turns %2").arg(flipped).arg(turns).toStdString());
            const QImage shown = renderEditedImage(source, withTurns(turns, flipped));
            const QImage clockwise = shown.transformed(QTransform().rotate(90));
            EXPECT_EQ(rows(renderEditedImage(source, withTurns(turns + 1, flipped))), rows(clockwise));
        }
}

TEST(EditPipeline, CropCutsFractionsOfTheTurnedPictureAndKeepsAtLeastOnePixel)
{
    const QImage source = sixPixels();
    EditSettings settings = withTurns(1);
    settings.crop.top = 1.0 / 3.0;   // of the turned height 3: drops the row D A
    settings.crop.left = 0.5;        // of the turned width 2: drops the column D E F
    EXPECT_EQ(rows(renderEditedImage(source, settings)), (QList<QRgb>{B, C}));

    EXPECT_EQ(cropPixelRect({100, 50}, {0.6, 0.6, 0, 0}), QRect(60, 0, 1, 50));
    EXPECT_EQ(cropPixelRect({100, 50}, {1, 0, 0.5, 0.7}), QRect(99, 25, 1, 1));
    EXPECT_EQ(cropPixelRect({100, 50}, {0.1, 0.2, 0.3, 0.4}), QRect(10, 15, 70, 15));
    EXPECT_EQ(cropPixelRect({100, 50}, {}), QRect(0, 0, 100, 50));
}

TEST(EditPipeline, DefaultSettingsGiveTheSourcePixelsUnchanged)
{
    QImage source(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            source.setPixel(x, y, qRgb(x * 6, y * 8, (x + y) * 3));
    const QImage rendered = renderEditedImage(source, {});
    EXPECT_EQ(rendered.size(), source.size());
    EXPECT_EQ(rows(rendered), rows(source));
    EXPECT_TRUE(renderEditedImage(QImage(), {}).isNull());
}

TEST(EditPipeline, ColourControlsFollowTheirFormula)
{
    // Brightness adds a fraction of full scale.
    EXPECT_EQ(adjusted(qRgb(100, 100, 100), 0.2, 1, 1), qRgb(151, 151, 151));
    EXPECT_EQ(adjusted(qRgb(255, 10, 0), 0.5, 1, 1), qRgb(255, 138, 128));
    // Contrast stretches about mid-grey.
    EXPECT_EQ(adjusted(qRgb(200, 50, 128), 0, 1.5, 1), qRgb(236, 11, 128));
    EXPECT_EQ(adjusted(qRgb(0, 255, 0), 0, 0.5, 1), qRgb(64, 191, 64));
    // Saturation mixes with Rec. 709 luma.
    EXPECT_EQ(adjusted(qRgb(255, 0, 0), 0, 1, 0), qRgb(54, 54, 54));
    EXPECT_EQ(adjusted(qRgb(200, 100, 50), 0, 1, 2), qRgb(255, 82, 0));
    // All three: saturation, then brightness, then contrast.
    EXPECT_EQ(adjusted(qRgb(40, 120, 200), -0.1, 1.2, 0.5), qRgb(33, 81, 129));
    // Alpha is kept and the colour is worked on unpremultiplied.
    EXPECT_EQ(adjusted(qRgba(100, 100, 100, 128), 0.2, 1, 1), qRgba(151, 151, 151, 128));
}

TEST(EditPipeline, ColourControlsApplyToEveryPixelOfLargeAndTranslucentPictures)
{
    // Large enough to be worked on in parallel bands.
    const QImage big = solid(900, 700, QColor(100, 100, 100));
    const QImage brighter = applyColourControls(big, {0.2, 1, 1});
    EXPECT_EQ(brighter.pixel(0, 0), qRgb(151, 151, 151));
    EXPECT_EQ(brighter.pixel(899, 699), qRgb(151, 151, 151));
    EXPECT_EQ(brighter.pixel(450, 333), qRgb(151, 151, 151));

    QImage translucent(4, 4, QImage::Format_ARGB32);
    translucent.fill(qRgba(100, 100, 100, 128));
    const QImage result = renderEditedImage(translucent, EditSettings{{0.2, 1, 1}});
    EXPECT_EQ(result.pixel(2, 2), qRgba(151, 151, 151, 128));
}

TEST(EditPipeline, ExifOrientedSourceIsUprightBeforeTheCrop)
{
    const QString path = QDir(test::makeTempDirectory()).filePath(QStringLiteral("turned.JPG"));
    ASSERT_TRUE(test::halvesImage(80, 40).save(path, "JPEG", 95));
    auto exifImage = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    exifImage->readMetadata();
    Exiv2::ExifData exif = exifImage->exifData();
    // 6: stored turned; upright the red half is on top and the blue half below.
    exif["Exif.Image.Orientation"] = uint16_t(6);
    exifImage->setExifData(exif);
    exifImage->writeMetadata();

    EditSettings settings;
    settings.crop.top = 0.5;
    const std::optional<EncodedImage> encoded = editedImageFile(path, settings);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->extension, QStringLiteral("jpg"));
    const QImage saved = QImage::fromData(encoded->data);
    ASSERT_EQ(saved.size(), QSize(40, 40));
    EXPECT_TRUE(isBluish(saved.pixel(5, 5)));
    EXPECT_TRUE(isBluish(saved.pixel(35, 35)));
}

TEST(EditPipeline, EncoderFollowsTheSourceExtension)
{
    for (const char* name : {"a.jpg", "a.JPG", "a.jpeg", "a.heic", "a.HEIF"})
        EXPECT_TRUE(encodesAsJpeg(QString::fromLatin1(name))) << name;
    for (const char* name : {"a.png", "a.tiff", "a.webp", "a.gif", "a.bmp", "jpg", ""})
        EXPECT_FALSE(encodesAsJpeg(QString::fromLatin1(name))) << name;

    const QImage picture = test::halvesImage(20, 10);
    const std::optional<EncodedImage> jpeg = encodeEditedImage(picture, QStringLiteral("/x/photo.JPG"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->extension, QStringLiteral("jpg"));
    EXPECT_TRUE(jpeg->data.startsWith("\xff\xd8"));
    const std::optional<EncodedImage> png = encodeEditedImage(picture, QStringLiteral("/x/scan.tiff"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->extension, QStringLiteral("png"));
    EXPECT_TRUE(png->data.startsWith("\x89PNG"));
    EXPECT_EQ(QImage::fromData(png->data).pixel(15, 5), qRgb(0, 0, 255));

    EXPECT_FALSE(encodeEditedImage(QImage(), QStringLiteral("a.png")));
    EXPECT_FALSE(editedImageFile(QString(), {}));
    EXPECT_FALSE(editedImageFile(QStringLiteral("/no/such/file.png"), {}));
}

TEST(EditPipeline, MarkupIsStampedIntoTheCroppedPictureAtPictureScale)
{
    // A 1000-pixel picture scales markup by 1000/900: a highlighter of width 5 is
    // max(5 × 3.2 × 1.11, 12) ≈ 17.8 pixels wide at 34 % opacity.
    VeskMarkupElement highlighter = makeMarkupElement(VeskMarkupTool::Highlighter, Qt::black, 5);
    highlighter.points = {QPointF(0.1, 0.5), QPointF(0.9, 0.5)};
    EditSettings settings;
    settings.markup = {highlighter};
    const QImage marked = renderEditedImage(solid(1000, 500, Qt::white), settings);
    int darkened = 0;
    for (int y = 0; y < 500; ++y)
        darkened += qRed(marked.pixel(500, y)) < 250 ? 1 : 0;
    EXPECT_GE(darkened, 17);
    EXPECT_LE(darkened, 20);
    EXPECT_NEAR(qRed(marked.pixel(500, 250)), 168, 2);

    // On the uncropped canvas the same markup lands inside the crop, as it will be saved.
    VeskMarkupElement box = makeMarkupElement(VeskMarkupTool::Rectangle, Qt::black, 2);
    box.start = QPointF(0, 0);
    box.end = QPointF(1, 1);
    settings.markup = {box};
    settings.crop = {0.5, 0, 0, 0};
    const QImage canvas = renderUncroppedImage(solid(200, 100, Qt::white), settings);
    ASSERT_EQ(canvas.size(), QSize(200, 100));
    EXPECT_EQ(canvas.pixel(50, 0), qRgb(255, 255, 255));
    EXPECT_LT(qRed(canvas.pixel(150, 0)), 128);
    EXPECT_LT(qRed(canvas.pixel(100, 50)), 128);
    const QImage saved = renderEditedImage(solid(200, 100, Qt::white), settings);
    ASSERT_EQ(saved.size(), QSize(100, 100));
    EXPECT_LT(qRed(saved.pixel(0, 50)), 128);
}

TEST(EditPipeline, MarkupSizesOnCanvasAndFlattened)
{
    const MarkupMetrics canvas = MarkupMetrics::onCanvas();
    EXPECT_DOUBLE_EQ(canvas.headLength(2), 12);
    EXPECT_DOUBLE_EQ(canvas.headHalfWidth(2), 8);
    EXPECT_DOUBLE_EQ(canvas.headLength(5), 21);
    EXPECT_DOUBLE_EQ(canvas.headHalfWidth(5), 14);
    EXPECT_DOUBLE_EQ(canvas.highlighterWidth(2), 12);
    EXPECT_DOUBLE_EQ(canvas.highlighterWidth(10), 32);
    EXPECT_DOUBLE_EQ(canvas.textSize(5), 20);
    EXPECT_DOUBLE_EQ(canvas.textSize(2), 14);

    const MarkupMetrics flat = MarkupMetrics::flattened(900, 300);
    EXPECT_DOUBLE_EQ(flat.textSize(5), 20);
    EXPECT_DOUBLE_EQ(flat.textSize(4), 18);
    EXPECT_DOUBLE_EQ(flat.headLength(0.1), 14);
    EXPECT_DOUBLE_EQ(flat.headHalfWidth(0.1), 9);
    EXPECT_DOUBLE_EQ(MarkupMetrics::flattened(100, 90).strokeWidth(5), 1.5);
    EXPECT_NEAR(MarkupMetrics::flattened(1000, 400).highlighterWidth(5), 17.78, 0.01);
}

TEST(EditPipeline, AspectFitCentresInTheWholeContainer)
{
    EXPECT_EQ(aspectFitRect(1000, 500, 800, 600, 28), QRectF(28, 114, 744, 372));
    EXPECT_EQ(aspectFitRect(100, 100, 40, 40, 28), QRectF(19.5, 19.5, 1, 1));
    EXPECT_EQ(aspectFitRect(0, 100, 400, 400, 28), QRectF(0, 0, 0, 0));
    EXPECT_EQ(aspectFitRect(100, 100, 400, -1, 28), QRectF(0, 0, 0, 0));
}

// How long the session's workers may take for a 2400-pixel picture before the test gives up: the
// waits end as soon as the work does, and a sanitized build on a busy machine takes many seconds.
constexpr int kEncodeBoundMs = 120'000;

TEST(ImageEditSession, EncodesTheSameBytesAsTheStraightforwardPipeline)
{
    const QString path = QDir(test::makeTempDirectory()).filePath(QStringLiteral("scene.png"));
    QImage picture(2400, 1200, QImage::Format_RGB32);
    picture.fill(QColor(90, 140, 200));
    QPainter(&picture).fillRect(100, 100, 600, 300, Qt::yellow);
    ASSERT_TRUE(picture.save(path));

    ImageEditSession session(path);
    session.setEncodeDelay(0);
    session.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.loadState() != ImageEditSession::LoadState::Loading; }, kEncodeBoundMs));
    ASSERT_EQ(session.loadState(), ImageEditSession::LoadState::Ready);
    EXPECT_EQ(session.fullSize(), QSize(2400, 1200));
    EXPECT_EQ(session.displaySource().size(), QSize(1600, 800));

    EditSettings settings;
    settings.quarterTurns = 1;
    settings.colour = {0.1, 1.2, 0.8};
    settings.crop = {0.1, 0.2, 0, 0.3};
    VeskMarkupElement arrow = makeMarkupElement(VeskMarkupTool::Arrow, Qt::red, 5);
    arrow.start = QPointF(0.2, 0.2);
    arrow.end = QPointF(0.7, 0.6);
    settings.markup = {arrow};
    // A change superseded before its encode runs never reaches the result.
    EditSettings first;
    first.colour.brightness = 0.3;
    session.setSettings(first);
    session.setSettings(settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.encodePending(); }, kEncodeBoundMs));
    ASSERT_TRUE(session.currentEncode());
    const std::optional<EncodedImage> straight = editedImageFile(path, settings);
    ASSERT_TRUE(straight);
    EXPECT_EQ(*session.currentEncode(), *straight);

    // Save asks for the encode of what is set now, whether or not the delay has passed.
    settings.flippedHorizontally = true;
    session.setEncodeDelay(60'000);
    session.setSettings(settings);
    EXPECT_FALSE(session.currentEncode());
    QFuture<std::optional<EncodedImage>> now = session.encodeNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return now.isFinished(); }, kEncodeBoundMs));
    ASSERT_TRUE(now.result());
    EXPECT_EQ(*now.result(), *editedImageFile(path, settings));
}

TEST(ImageEditSession, AnUnreadableSourceFailsToLoad)
{
    ImageEditSession session(QStringLiteral("/no/such/picture.png"));
    session.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.loadState() != ImageEditSession::LoadState::Loading; }, 5000));
    EXPECT_EQ(session.loadState(), ImageEditSession::LoadState::Failed);
    QFuture<std::optional<EncodedImage>> now = session.encodeNow();
    EXPECT_TRUE(now.isFinished());
    EXPECT_FALSE(now.result());
}
