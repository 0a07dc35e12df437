#pragma once

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

namespace vesk {

class SearchIndex;

// What the lexical pass publishes: the ranked items and the reasons beside the first of them.
struct LexicalPassResult {
    QList<VeskItem> items;
    QHash<QUuid, QString> hints;
};

// The lexical pass over the index: reads nothing but the index and the usage scores of the
// items opened, so that it can run on a worker while the index stands still. A pass cancelled
// meanwhile stops before it copies the items.
LexicalPassResult rankLexicalHits(const SearchIndex& index, const QString& query,
    const QHash<QUuid, double>& usageByID, const QDateTime& now, const CancellationToken& token = {});

} // namespace vesk
