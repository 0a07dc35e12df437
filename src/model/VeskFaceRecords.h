#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// One detected face, as stored in "vesk_faces".
struct VeskFaceRecord {
    QUuid id;
    QUuid veskID;
    std::optional<QUuid> clusterID;
    qint64 faceIndex = 0;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double confidence = 0;
    QString featureModel;
    QList<double> featureVector;
    QDateTime createdAt;

    // Doubles compare numerically, so +0.0 and -0.0 are equal.
    friend bool operator==(const VeskFaceRecord&, const VeskFaceRecord&) = default;
};

// One person pool, as stored in "vesk_face_clusters"; an unnamed pool has no name.
struct VeskFaceClusterRecord {
    QUuid id;
    std::optional<QString> name;
    QDateTime createdAt;
    QDateTime modifiedAt;

    friend bool operator==(const VeskFaceClusterRecord&, const VeskFaceClusterRecord&) = default;
};

// A face the user said is not in a pool.
struct VeskFaceRejectionRecord {
    QUuid faceID;
    QUuid clusterID;

    friend bool operator==(const VeskFaceRejectionRecord&, const VeskFaceRejectionRecord&) = default;
};

// A named person as the views list them: a pool with a name and at least one face.
struct VeskPersonPoolSummary {
    QUuid id;
    QString name; // trimmed, never empty
    int faceCount = 0;
    int veskCount = 0; // distinct items among the faces
    std::optional<QUuid> representativeFaceID;

    friend bool operator==(const VeskPersonPoolSummary&, const VeskPersonPoolSummary&) = default;
};

// An unassigned face proposed for a person pool, with its best similarity to the pool's faces.
struct VeskFaceSuggestion {
    QString id; // the pool's and the face's identifiers, upper case, joined by "-"
    QUuid faceID;
    QUuid poolID;
    QString poolName;
    std::optional<QUuid> representativeFaceID;
    double similarity = 0;

    friend bool operator==(const VeskFaceSuggestion&, const VeskFaceSuggestion&) = default;
};

// The People window's counts.
struct VeskFaceStatistics {
    int total = 0;
    int confirmed = 0;
    int unassigned = 0; // unassigned and not ignored

    friend bool operator==(const VeskFaceStatistics&, const VeskFaceStatistics&) = default;
};

size_t qHash(const VeskFaceRecord& record, size_t seed = 0) noexcept;
size_t qHash(const VeskFaceRejectionRecord& record, size_t seed = 0) noexcept;

} // namespace vesk

template <>
struct std::hash<vesk::VeskFaceRecord> {
    size_t operator()(const vesk::VeskFaceRecord& r) const noexcept { return vesk::qHash(r); }
};
template <>
struct std::hash<vesk::VeskFaceRejectionRecord> {
    size_t operator()(const vesk::VeskFaceRejectionRecord& r) const noexcept { return vesk::qHash(r); }
};
