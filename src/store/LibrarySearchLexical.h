#pragma once

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"

#include <QArrayDataPointer>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <vector>

namespace vesk {

class SearchIndex;

// The items of a list a lexical pass made, held beside the lists that show them, with the index
// slot of each. Once nothing else holds them, a later pass moves the items it ranks again out of
// here instead of copying them from the index: a short query's list holds most of the library,
// and each copy (and each release after it) touches every text the item shares.
struct LexicalList {
    QArrayDataPointer<VeskItem> items;
    std::vector<quint32> itemSlots;
    quint64 indexVersion = 0; // SearchIndex::version() when the items were copied from it
};

// What the lexical pass publishes: the ranked items and the reasons beside the first of them.
struct LexicalPassResult {
    QList<VeskItem> items;
    QHash<QUuid, QString> hints;
    // The same items, for a later pass.
    LexicalList list;
};

// The lexical pass over the index: reads nothing but the index and the usage scores of the
// items opened, so that it can run on a worker while the index stands still. A pass cancelled
// meanwhile stops between pieces of its scoring, or else before it copies the items. The items
// of earlier that are still exactly what the index holds for their slots are moved into the
// result when nothing else holds earlier; the rest of it is freed on a worker.
LexicalPassResult rankLexicalHits(const SearchIndex& index, const QString& query,
    const QHash<QUuid, double>& usageByID, const QDateTime& now, const CancellationToken& token = {},
    LexicalList earlier = {});

} // namespace vesk
