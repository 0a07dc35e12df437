#include "model/VeskFaceRecords.h"

#include <QHashFunctions>

namespace vesk {

namespace {
// Equality treats +0.0 and -0.0 as equal, so they must hash alike.
size_t hashDouble(double value, size_t seed)
{
    return ::qHash(value == 0.0 ? 0.0 : value, seed);
}
} // namespace

size_t qHash(const VeskFaceRecord& record, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, record.id);
    seed = combine(seed, record.veskID);
    seed = record.clusterID ? combine(seed, *record.clusterID) : combine(seed, quint64(0x9e3779b97f4a7c15ull));
    seed = combine(seed, record.faceIndex);
    for (double value : {record.x, record.y, record.width, record.height, record.confidence})
        seed = hashDouble(value, seed);
    seed = combine(seed, record.featureModel);
    seed = combine(seed, record.featureVector.size());
    for (double value : record.featureVector)
        seed = hashDouble(value, seed);
    seed = combine(seed, record.createdAt.toMSecsSinceEpoch());
    return seed;
}

size_t qHash(const VeskFaceRejectionRecord& record, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, record.faceID);
    seed = combine(seed, record.clusterID);
    return seed;
}

} // namespace vesk
