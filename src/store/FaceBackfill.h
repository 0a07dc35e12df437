#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QSet>
#include <QUuid>

namespace vesk {

// The image items the background face scan still has to look at, in list order: image items not
// yet analysed whose managed file exists.
QList<VeskItem> faceBackfillCandidates(const QList<VeskItem>& items, const QSet<QUuid>& analyzedIDs);

} // namespace vesk
