#pragma once

#include "intake/NearDuplicateIndex.h"
#include "platform/CancellationToken.h"
#include "search/DefaultOrder.h"
#include "search/ManualTags.h"
#include "search/SearchIndex.h"
#include "search/UsageSignals.h"
#include "store/VeskStore.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <optional>

namespace vesk {

// What the store keeps for search: nothing of it but the usage signals and manual tags (in the
// settings) outlives the process.
struct VeskStore::SearchState {
    // Records, token index and association tokens of every item in items().
    SearchIndex index;
    // items() in the default order, kept item by item: what an empty search shows.
    DefaultOrder order;
    // The text items, for the near-duplicate check of a new text.
    NearDuplicateIndex nearDuplicates;
    // While start-up builds the index on a worker: the items changed meanwhile, indexed again
    // once it arrives (or all of them, after a change that did not name its items).
    bool indexPending = false;
    QSet<QUuid> changedWhileIndexing;
    bool libraryChangedWhileIndexing = false;
    // Related items per item; emptied whenever the index or the usage signals change.
    QHash<QUuid, QList<QUuid>> relatedCache;
    // Keyed by the item identifier's upper-case text.
    UsageSignalMap usageSignals;
    ManualTagMap manualTagsByID;
    // The current deep search; a newer one cancels it.
    std::optional<CancellationToken> deepSearchTask;
    // Set when items() changed after the index was last brought up to date; the refresh then
    // catches up first, so it never shows an item as it was before an edit.
    bool itemsChangedSinceIndexing = true;
    bool watchingItems = false;
};

} // namespace vesk
