#include "faces/VisionAnalysis.h"

#include "faces/FaceDetector.h"
#include "faces/FaceGeometry.h"
#include "faces/FacePrint.h"
#include "faces/ObjectLabels.h"
#include "faces/TextRecognizer.h"
#include "platform/image/ImageLoader.h"
#include "platform/nn/GraphModel.h"
#include "platform/ThreadPriority.h"
#include "platform/WorkPools.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk::vision {

QString recognizeText(const QImage& image)
{
    return recognizeTextInImage(image);
}

QString classifyImage(const QImage& image)
{
    return labelLine(classifyObjects(image));
}

QList<DetectedFace> detectFaces(const QImage& image)
{
    QList<DetectedFace> faces;
    const QList<FaceBox> boxes = detectFaceBoxes(image);
    for (qsizetype index = 0; index < boxes.size(); ++index) {
        const QRectF normalised = normalisedLowerLeftBox(boxes[index].box, image.size());
        auto print = facePrint(image, normalised);
        if (!print)
            continue;
        DetectedFace face;
        face.faceIndex = index;
        face.box = normalised;
        face.confidence = boxes[index].confidence;
        face.featureModel = kFacePrintModel;
        face.featureVector = std::move(*print);
        faces.append(std::move(face));
    }
    return faces;
}

QString recognizeText(const QString& path)
{
    return recognizeText(ImageLoader::load(path));
}

QString classifyImage(const QString& path)
{
    return classifyImage(ImageLoader::load(path));
}

QList<DetectedFace> detectFaces(const QString& path)
{
    return detectFaces(ImageLoader::load(path));
}

ImageAnalysis analyseImage(const QImage& image)
{
    ImageAnalysis analysis;
    if (image.isNull())
        return analysis;
    // The reading runs on another thread, so it asks this thread's stop itself.
    const CancellationToken* scope = nn::StopScope::current();
    const CancellationToken stop = scope ? *scope : CancellationToken();
    QFuture<QString> text = QtConcurrent::run(WorkPools::shared().recognition(), [image, stop] {
        makeCurrentThreadBackground();
        return recognizeTextInImage(image, [&stop] { return stop.isCancelled(); });
    });
    analysis.labels = classifyImage(image);
    analysis.faces = detectFaces(image);
    analysis.text = text.result();
    return analysis;
}

ImageAnalysis analyseImage(const QString& path)
{
    return analyseImage(ImageLoader::load(path));
}

} // namespace vesk::vision
