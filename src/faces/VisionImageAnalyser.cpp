#include "faces/VisionImageAnalyser.h"

#include "platform/ThreadPriority.h"
#include "platform/nn/GraphModel.h"

#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

QList<VeskFaceRecord> faceRecordsOf(const QList<DetectedFace>& faces, const QUuid& itemID, const QDateTime& detectedAt)
{
    QList<VeskFaceRecord> records;
    records.reserve(faces.size());
    for (const DetectedFace& face : faces) {
        VeskFaceRecord record;
        record.id = QUuid::createUuid();
        record.veskID = itemID;
        record.faceIndex = face.faceIndex;
        record.x = face.box.x();
        record.y = face.box.y();
        record.width = face.box.width();
        record.height = face.box.height();
        record.confidence = face.confidence;
        record.featureModel = face.featureModel;
        record.featureVector = face.featureVector;
        record.createdAt = detectedAt;
        records.append(std::move(record));
    }
    return records;
}

VisionImageAnalyser::VisionImageAnalyser(AnalysisEngine engine) : m_engine(std::move(engine))
{
    if (!m_engine)
        m_engine = [](const QString& path) { return vision::analyseImage(path); };
    // Two pictures at a time: each run already keeps the cores busy, and a second one fills the
    // pauses of decoding and text recognition.
    m_pool.setMaxThreadCount(2);
}

VisionImageAnalyser::~VisionImageAnalyser()
{
    m_stop.cancel();
    m_pool.clear();
    m_pool.waitForDone();
}

QFuture<ImageAnalysisResult> VisionImageAnalyser::analyse(const QString& path, const QUuid& itemID)
{
    return QtConcurrent::run(&m_pool, [path, itemID, stop = m_stop, engine = m_engine] {
        const nn::StopScope stopping(stop);
        // Lowered, never idle-class: analysis scales pictures through Qt's shared thread pool,
        // whose lock an idle-class thread can hold for as long as every core is busy elsewhere,
        // and the window, which hands its painting to that pool, would wait as long.
        makeCurrentThreadBackground();
        const ImageAnalysis analysis = engine(path);
        return ImageAnalysisResult{analysis.text, analysis.labels,
                                   faceRecordsOf(analysis.faces, itemID, QDateTime::currentDateTimeUtc())};
    });
}

QFuture<QList<VeskFaceRecord>> VisionImageAnalyser::detectFaces(const QString& path, const QUuid& itemID)
{
    return QtConcurrent::run(&m_pool, [path, itemID, stop = m_stop] {
        const nn::StopScope stopping(stop);
        makeCurrentThreadBackground();
        return faceRecordsOf(vision::detectFaces(path), itemID, QDateTime::currentDateTimeUtc());
    });
}

} // namespace vesk
