#pragma once

#include "model/VeskFaceRecords.h"

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace vesk {

// The name a pool is stored and shown with: trimmed of white space and line breaks at both ends;
// a missing name is empty.
QString personPoolName(const std::optional<QString>& name);

// The form two person names are compared in: trimmed, decomposed, without combining marks and
// case-folded, so "Zoë" and " zoe" meet while "Anne Marie" and "Anne-Marie" stay apart.
QString personNameKey(const QString& name);
bool samePersonName(const QString& a, const QString& b);

// The named person of one pool: none when its trimmed name is empty or no face is in it. The
// representative face is the pool's first face in `faces` order.
std::optional<VeskPersonPoolSummary> personPoolSummary(const VeskFaceClusterRecord& pool,
                                                       const QList<VeskFaceRecord>& faces);

// Every named pool with faces, sorted by name with the locale's case-insensitive order; equal
// names keep the order of `pools`.
QList<VeskPersonPoolSummary> personPoolSummaries(const QList<VeskFaceClusterRecord>& pools,
                                                 const QList<VeskFaceRecord>& faces);

// Faces in no pool and not ignored, newest first (equal times keep `faces` order), at most
// `limit` of them (a negative limit counts as 0).
QList<VeskFaceRecord> unassignedFaces(const QList<VeskFaceRecord>& faces, const QSet<QUuid>& ignored, int limit);

// All faces, confirmed faces (in a pool, ignored or not) and unassigned faces not ignored.
VeskFaceStatistics faceStatistics(const QList<VeskFaceRecord>& faces, const QSet<QUuid>& ignored);

} // namespace vesk
