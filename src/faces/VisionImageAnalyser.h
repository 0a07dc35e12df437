#pragma once

#include "faces/VisionAnalysis.h"
#include "model/ServiceInterfaces.h"

#include <QDateTime>
#include <QThreadPool>

namespace vesk {

// The face records of one analysis: a new identifier per face, the item, no pool, `detectedAt`.
QList<VeskFaceRecord> faceRecordsOf(const QList<DetectedFace>& faces, const QUuid& itemID, const QDateTime& detectedAt);

// The application's image analyser: the vision engines on a small pool of low-priority workers,
// so that several pictures can be analysed at once while the window stays responsive. The models
// spread each run over the cores themselves.
class VisionImageAnalyser final : public ImageAnalyser {
public:
    VisionImageAnalyser();
    ~VisionImageAnalyser() override;

    QFuture<ImageAnalysisResult> analyse(const QString& path, const QUuid& itemID) override;
    QFuture<QList<VeskFaceRecord>> detectFaces(const QString& path, const QUuid& itemID) override;

private:
    QThreadPool m_pool;
};

} // namespace vesk
