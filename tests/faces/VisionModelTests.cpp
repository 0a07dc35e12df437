// The vision engines with the real models and real photographs (installed by install-deps.sh).
#include "faces/FaceDetector.h"
#include "faces/FacePrint.h"
#include "faces/ObjectLabels.h"
#include "faces/TextRecognizer.h"
#include "faces/VisionAnalysis.h"
#include "faces/VisionImageAnalyser.h"
#include "faces/VisionModels.h"
#include "platform/image/ImageLoader.h"
#include "common/TestEnvironment.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QTransform>
#include <cmath>
#include <semaphore>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

const QString kDlibFaces = QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/");
const QString kJohns = QStringLiteral("/usr/share/doc/libdlib19.1/examples/johns/");
const QString kHopper = QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg");
const QString kPictures = QStringLiteral("/usr/share/pixmaps/faces/");
const QString kSign = QStringLiteral("/usr/share/doc/opencv-doc/examples/text/scenetext05.jpg");
const QString kOpenCvData = QStringLiteral("/usr/share/doc/opencv-doc/examples/data/");

#define SKIP_WITHOUT_MODELS()                                                                                          \
    if (!QFileInfo::exists(VisionModels::modelsDirectory() + QStringLiteral("/faceres.json")))                         \
    GTEST_SKIP() << "the vision models are not installed (scripts/install-models.sh)"
#define SKIP_WITHOUT(path)                                                                                             \
    if (!QFileInfo::exists(path))                                                                                      \
    GTEST_SKIP() << qPrintable(path) << " is missing (scripts/install-deps.sh installs it)"

// A picture that is the same in every run: a slanted colour pattern.
nn::Tensor pattern(int size, float scale, float offset)
{
    nn::Tensor tensor = nn::Tensor::uninitialised(nn::DType::Float32, {1, size, size, 3});
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < 3; ++c)
                tensor.f[size_t((y * size + x) * 3 + c)] = float((x * 7 + y * 13 + c * 29) % 256) * scale + offset;
    return tensor;
}

double sumOf(const nn::Tensor& tensor)
{
    double sum = 0;
    for (float value : tensor.f)
        sum += value;
    return sum;
}

QByteArray jpegBytes(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

} // namespace

// The outputs below were recorded once from this runtime for the fixed pattern and checked then
// against what the models are for (faces found on photographs, prints that tell people apart,
// objects named correctly, see the tests further down). They pin the arithmetic: any change in
// an operation's result moves them.
TEST(VisionModels, OutputsOnAFixedInputMatchTheRecordedReference)
{
    SKIP_WITHOUT_MODELS();
    const nn::GraphModel* detector = VisionModels::faceDetector();
    const nn::GraphModel* describer = VisionModels::faceDescriber();
    const nn::GraphModel* objects = VisionModels::objectDetector();
    ASSERT_TRUE(detector && describer && objects);

    auto faces = detector->run({{"input", pattern(256, 1 / 127.5f, -1)}}, {"Identity:0", "Identity_3:0"});
    ASSERT_TRUE(faces.hasValue()) << faces.error().message.toStdString();
    EXPECT_EQ((*faces)[0].shape, (nn::Shape{1, 512, 1}));
    EXPECT_NEAR(sumOf((*faces)[0]), -6701.2686, 0.05);
    EXPECT_NEAR((*faces)[0].f[0], -4.253457, 1e-3);
    EXPECT_NEAR(sumOf((*faces)[1]), 69822.45, 1.0);
    EXPECT_NEAR((*faces)[1].f[2], 91.422714, 1e-2);

    auto description = describer->run({{"input_1", pattern(224, 1, 0)}}, {"global_pooling/Mean"});
    ASSERT_TRUE(description.hasValue()) << description.error().message.toStdString();
    EXPECT_EQ(description->front().shape, (nn::Shape{1, 1024}));
    EXPECT_NEAR(sumOf(description->front()), 25.577897, 5e-3);

    auto detections = objects->run({{"tower_0/images", pattern(512, 1, 0)}}, {"tower_0/detections"});
    ASSERT_TRUE(detections.hasValue()) << detections.error().message.toStdString();
    const nn::Tensor& rows = detections->front();
    EXPECT_EQ(rows.shape, (nn::Shape{1, 100, 6}));
    EXPECT_NEAR(rows.f[0], 3.563980, 1e-2);
    EXPECT_NEAR(rows.f[4], 0.286686, 1e-4);
    EXPECT_EQ(rows.f[5], 11.0f);
    EXPECT_NEAR(sumOf(rows), 107138.12, 2.0);
}

TEST(VisionFaces, EveryFaceOnGroupPhotographsAndNoneOnLandscapes)
{
    SKIP_WITHOUT_MODELS();
    SKIP_WITHOUT(kDlibFaces);
    SKIP_WITHOUT(kPictures);
    // Counted by looking at the pictures: faces turned towards the camera.
    const struct {
        const char* file;
        int faces;
    } photos[] = {{"2008_001322.jpg", 3}, {"2008_002470.jpg", 6}, {"2008_002506.jpg", 3}, {"2008_007676.jpg", 7},
                  {"2009_004587.jpg", 2}};
    for (const auto& photo : photos) {
        const QImage image = ImageLoader::load(kDlibFaces + QLatin1String(photo.file));
        const QList<DetectedFace> faces = vision::detectFaces(image);
        EXPECT_EQ(faces.size(), photo.faces) << photo.file;
        for (const DetectedFace& face : faces) {
            EXPECT_GE(face.box.left(), 0.0);
            EXPECT_GE(face.box.top(), 0.0);
            EXPECT_LE(face.box.right(), 1.0);
            EXPECT_LE(face.box.bottom(), 1.0);
            EXPECT_EQ(face.featureModel, kFacePrintModel);
            EXPECT_EQ(face.featureVector.size(), 1024);
        }
    }
    for (const char* landscape : {"mountain.jpg", "tree.jpg", "sunset.jpg", "sky.jpg", "lightning.jpg", "leaf.jpg"})
        EXPECT_TRUE(vision::detectFaces(kPictures + QLatin1String(landscape)).isEmpty()) << landscape;

    // Pages of text, sharp or blurred, have no faces, however sure the model is of a blob.
    SKIP_WITHOUT(kOpenCvData);
    for (const char* page : {"text_defocus.jpg", "text_motion.jpg", "imageTextN.png", "imageTextR.png"})
        EXPECT_TRUE(vision::detectFaces(kOpenCvData + QLatin1String(page)).isEmpty()) << page;
}

TEST(VisionFaces, BoxesUseTheLowerLeftOrigin)
{
    SKIP_WITHOUT_MODELS();
    SKIP_WITHOUT(kHopper);
    const QImage portrait = ImageLoader::load(kHopper);
    const QList<DetectedFace> faces = vision::detectFaces(portrait);
    ASSERT_EQ(faces.size(), 1);
    // The face sits in the upper half of the portrait, so its lower-left-origin box is high.
    EXPECT_GT(faces[0].box.y(), 0.4);
    EXPECT_LT(faces[0].box.x(), 0.5);
    EXPECT_GT(faces[0].box.right(), 0.5);
    // Upside down, the same face is found in the lower half.
    const QList<DetectedFace> flipped = vision::detectFaces(portrait.mirrored(true, true));
    ASSERT_EQ(flipped.size(), 1);
    EXPECT_LT(flipped[0].box.y(), 0.6);
}

TEST(VisionFaces, PrintsOfOneFaceStayCloserThanPrintsOfOtherPeople)
{
    SKIP_WITHOUT_MODELS();
    SKIP_WITHOUT(kDlibFaces);
    SKIP_WITHOUT(kJohns);
    SKIP_WITHOUT(kHopper);
    // Twelve people: five from one group photo, three from another, three Johns, and a portrait.
    QList<std::pair<QImage, QRectF>> people;
    const auto addFaces = [&](const QString& path, int count) {
        const QImage image = ImageLoader::load(path);
        const QList<DetectedFace> faces = vision::detectFaces(image);
        for (int k = 0; k < count && k < faces.size(); ++k)
            people.append({image, faces[k].box});
    };
    addFaces(kDlibFaces + "2008_007676.jpg", 5);
    addFaces(kDlibFaces + "2008_002506.jpg", 3);
    addFaces(kJohns + "John_Salley/000179_02159509.jpg", 1);
    addFaces(kJohns + "John_Savage/000264_01099001.jpg", 1);
    addFaces(kJohns + "John_Simm/000288_00470387.jpg", 1);
    addFaces(kHopper, 1);
    ASSERT_GE(people.size(), 12);

    QList<QList<double>> originals;
    for (const auto& [image, box] : people) {
        const auto print = facePrint(image, box);
        ASSERT_TRUE(print.has_value());
        EXPECT_NEAR(printSimilarity(*print, *print), 1.0, 1e-9);
        originals.append(*print);
    }
    for (qsizetype person = 0; person < people.size(); ++person) {
        const auto& [image, box] = people[person];
        double closestStranger = -1;
        for (qsizetype other = 0; other < people.size(); ++other) {
            if (other != person)
                closestStranger = std::max(closestStranger, printSimilarity(originals[person], originals[other]));
        }
        // The same picture scaled, slightly turned, brightened and re-encoded.
        QImage brighter = image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < brighter.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(brighter.scanLine(y));
            for (int x = 0; x < brighter.width(); ++x)
                line[x] = qRgb(std::min(255, qRed(line[x]) + 35), std::min(255, qGreen(line[x]) + 35), std::min(255, qBlue(line[x]) + 35));
        }
        QImage turned(image.size(), QImage::Format_RGB32);
        turned.fill(Qt::gray);
        {
            QPainter painter(&turned);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            const QPointF centre(box.center().x() * image.width(), (1 - box.center().y()) * image.height());
            painter.translate(centre);
            painter.rotate(6);
            painter.translate(-centre);
            painter.drawImage(0, 0, image);
        }
        const QList<std::pair<const char*, QImage>> variants{
            {"scaled", image.scaled(image.size() * 0.6, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)},
            {"turned", turned},
            {"brighter", brighter},
            {"re-encoded", QImage::fromData(jpegBytes(image, 35), "JPEG")},
        };
        for (const auto& [name, variant] : variants) {
            const auto print = facePrint(variant, box);
            ASSERT_TRUE(print.has_value()) << name;
            const double same = printSimilarity(*print, originals[person]);
            EXPECT_GT(same, closestStranger) << "person " << person << ", " << name;
            // High enough for the suggestion threshold of person pools.
            EXPECT_GT(same, 0.72) << "person " << person << ", " << name;
        }
    }
}

TEST(VisionLabels, EverydayObjectsAreNamedAndEmptyScenesGetNoLabels)
{
    SKIP_WITHOUT_MODELS();
    SKIP_WITHOUT(kPictures);
    EXPECT_TRUE(vision::classifyImage(kPictures + "cat.jpg").split(' ').contains("cat"));
    EXPECT_TRUE(vision::classifyImage(kPictures + "puppy.jpg").split(' ').contains("dog"));
    EXPECT_TRUE(vision::classifyImage(kPictures + "plane.jpg").split(' ').contains("airplane"));
    EXPECT_TRUE(vision::classifyImage(kPictures + "surfer.jpg").contains("surfboard"));
    EXPECT_EQ(vision::classifyImage(kPictures + "mountain.jpg"), QString());
}

TEST(VisionText, ReadsARenderedPageAndAPhotographedSign)
{
    SKIP_WITHOUT_MODELS();
    QImage page(1400, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(36);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(60, 120, QStringLiteral("Remember the milk and the bread"));
        painter.drawText(60, 220, QStringLiteral("Meeting with Harriet on Thursday"));
        painter.drawText(60, 320, QStringLiteral("Invoice 4821 paid in full"));
    }
    const QString text = vision::recognizeText(page);
    EXPECT_EQ(text.split('\n'), (QStringList{"Remember the milk and the bread", "Meeting with Harriet on Thursday",
                                             "Invoice 4821 paid in full"}));
    // A reader whose item went away stops, and gives nothing half-read.
    int asked = 0;
    EXPECT_TRUE(recognizeTextInImage(page, [&] { return ++asked > 0; }).isEmpty());
    EXPECT_GT(asked, 0);

    SKIP_WITHOUT(kSign);
    EXPECT_TRUE(vision::recognizeText(kSign).contains(QStringLiteral("PARKING"))) << vision::recognizeText(kSign).toStdString();
}

TEST(VisionAnalysis, UnreadableOrHostileFilesGiveThreeEmptyResults)
{
    SKIP_WITHOUT_MODELS();
    const QString folder = test::makeTempDirectory(QStringLiteral("hostile"));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QByteArray jpeg = jpegBytes(picture, 90);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
    }
    QByteArray hugePng = png;
    hugePng.replace(16, 8, QByteArray("\x7f\xff\xff\xff\x7f\xff\xff\xff", 8)); // a header claiming 2^31 x 2^31 pixels
    const QList<std::pair<QString, QByteArray>> files{
        {"truncated.jpg", jpeg.left(jpeg.size() / 3)},
        {"garbage.jpg", QByteArray("\xff\xd8\xff\xe0" " not really a jpeg")},
        {"truncated.png", png.left(40)},
        {"enormous.png", hugePng},
        {"broken.heic", QByteArray("\x00\x00\x00\x18" "ftypheic\x00\x00\x00\x00" "heicmif1 and nothing more", 41)},
        {"empty.png", QByteArray()},
        {"text.jpg", QByteArray("just some words in a file named like a picture")},
    };
    for (const auto& [name, bytes] : files) {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const ImageAnalysis analysis = vision::analyseImage(file.fileName());
        EXPECT_TRUE(analysis.text.isEmpty()) << name.toStdString();
        EXPECT_TRUE(analysis.labels.isEmpty()) << name.toStdString();
        EXPECT_TRUE(analysis.faces.isEmpty()) << name.toStdString();
    }
    EXPECT_TRUE(vision::analyseImage(folder + QStringLiteral("/missing.jpg")).faces.isEmpty());
}

TEST(VisionAnalysis, AnAnalyserThatGoesAwayStopsTheAnalysisItIsRunning)
{
    SKIP_WITHOUT_MODELS();
    SKIP_WITHOUT(kHopper);
    // The analysis says when it is under way; the analyser goes only then, while the models run
    // (not while it waits in the queue), and they stop at their next step instead of finding the
    // face.
    std::binary_semaphore underWay(0);
    auto analyser = std::make_unique<VisionImageAnalyser>([&underWay](const QString& path) {
        underWay.release();
        return vision::analyseImage(path);
    });
    QFuture<ImageAnalysisResult> analysis = analyser->analyse(kHopper, QUuid::createUuid());
    underWay.acquire();
    analyser.reset();
    ASSERT_TRUE(analysis.isFinished());
    ASSERT_EQ(analysis.resultCount(), 1);
    EXPECT_TRUE(analysis.result().faces.isEmpty());
    EXPECT_TRUE(analysis.result().labels.isEmpty());
}
