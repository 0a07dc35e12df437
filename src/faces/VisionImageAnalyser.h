#pragma once

#include "faces/VisionAnalysis.h"
#include "model/ServiceInterfaces.h"
#include "platform/CancellationToken.h"

#include <QDateTime>
#include <QThreadPool>
#include <functional>

namespace vesk {

// The face records of one analysis: a new identifier per face, the item, no pool, `detectedAt`.
QList<VeskFaceRecord> faceRecordsOf(const QList<DetectedFace>& faces, const QUuid& itemID, const QDateTime& detectedAt);

// The application's image analyser: the vision engines on a small pool of low-priority workers,
// so that several pictures can be analysed at once while the window stays responsive. The models
// spread each run over the cores themselves. Going away stops the analyses that are running at
// their next step, since their results would reach nobody.
class VisionImageAnalyser final : public ImageAnalyser {
public:
    // What analyse() runs on a worker for each picture: vision::analyseImage, unless the caller
    // brings an engine of its own (one that wraps it, to know when an analysis is under way).
    using AnalysisEngine = std::function<ImageAnalysis(const QString& path)>;

    explicit VisionImageAnalyser(AnalysisEngine engine = {});
    ~VisionImageAnalyser() override;

    QFuture<ImageAnalysisResult> analyse(const QString& path, const QUuid& itemID) override;
    QFuture<QList<VeskFaceRecord>> detectFaces(const QString& path, const QUuid& itemID) override;

private:
    AnalysisEngine m_engine;
    CancellationToken m_stop;
    QThreadPool m_pool;
};

} // namespace vesk
