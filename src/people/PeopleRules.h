#pragma once
// The People window's decisions, kept out of its widgets: which card offers a merge and into whom,
// when a rename is really a merge, and the window's own wording.

#include "model/VeskFaceRecords.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// The other named pool with the same person name that this pool would merge into: among the
// same-name pools other than this one, the first in `all` order unless a later one has strictly
// more (face count, item count). None when there is no other.
std::optional<VeskPersonPoolSummary> mergeTarget(const VeskPersonPoolSummary& pool,
                                                 const QList<VeskPersonPoolSummary>& all);
// The merge button is shown only on the smaller of same-name pools: when some other pool of the
// same name has strictly more confirmed faces than this one.
bool offersMerge(const VeskPersonPoolSummary& pool, const QList<VeskPersonPoolSummary>& all);

// The pool that already bears the new name of the pool being renamed: the first other pool whose
// name is the same person name as the trimmed new name. None for a blank name or no such pool, or
// when only the pool itself has that name (a change of case is a plain rename).
std::optional<VeskPersonPoolSummary> renameCollision(const QUuid& renamingID, const QString& newName,
                                                     const QList<VeskPersonPoolSummary>& all);

// A name can be submitted once it holds more than white space.
bool isSubmittableName(const QString& name);

// "1 confirmed face across 3 Vesks", "2 confirmed faces across 1 Vesk".
QString personCountLine(int faceCount, int veskCount);
// "Similarity 0.800".
QString similarityText(double similarity);
// "Confirm all 12 visible suggestions as Ana".
QString confirmAllHelp(int shown, const QString& poolName);
// "Combine this ana pool with the larger confirmed Ana pool".
QString mergeHelp(const QString& poolName, const QString& targetName);

} // namespace vesk
