#pragma once

#include "intake/NearDuplicateIndex.h"
#include "platform/CancellationToken.h"
#include "platform/ReadGate.h"
#include "search/DefaultOrder.h"
#include "search/ManualTags.h"
#include "search/SearchIndex.h"
#include "search/UsageSignals.h"
#include "search/SemanticVectors.h"
#include "store/LibrarySearchLexical.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vesk {

// Related items per item. Each emptying counts, so that a ranking made on a worker is remembered
// only when nothing changed while it ran.
struct RelatedMemo : QHash<QUuid, QList<QUuid>> {
    void clear()
    {
        ++epoch;
        QHash::clear();
    }
    quint64 epoch = 0;
};

// What the search area keeps: nothing of it but the usage signals and manual tags (in the
// settings) outlives the process.
struct SearchState {
    // Records, token index and association tokens of every item in items().
    SearchIndex index;
    // Sentence embedding per item.
    SemanticVectors vectors;
    // Workers read the index and the sentence vectors in turns through this gate; every change
    // of either on the main thread holds it (ReadGate::Change). It is the library list's own gate
    // (LibrarySearchHost::itemsReading), so that a turn reads the list with them.
    std::shared_ptr<ReadGate> readGate = std::make_shared<ReadGate>();
    // Vectors computed while a worker was reading, in the order they came: kept in `vectors` at
    // the first moment the gate is free, and before anything on the main thread reads them.
    std::vector<std::pair<QUuid, QList<double>>> pendingVectors;
    // The ranking of related items running on a worker, cancelled by the next one.
    std::optional<CancellationToken> relatedRanking;
    // items() in the default order, kept item by item: what an empty search shows.
    DefaultOrder order;
    // The text items, for the near-duplicate check of a new text.
    NearDuplicateIndex nearDuplicates;
    // The capture worker looks up a large capture's candidates in turns of this gate; every
    // change of nearDuplicates on the main thread holds it. A gate of its own: such a change
    // waits for one short lookup at most, never for a search pass.
    std::shared_ptr<ReadGate> nearDuplicateGate = std::make_shared<ReadGate>();
    // While start-up builds the index on a worker: the items changed meanwhile, indexed again
    // once it arrives (or all of them, after a change that did not name its items).
    bool indexPending = false;
    QSet<QUuid> changedWhileIndexing;
    bool libraryChangedWhileIndexing = false;
    // Related items per item; emptied whenever the index or the usage signals change.
    RelatedMemo relatedCache;
    // Keyed by the item identifier's upper-case text.
    UsageSignalMap usageSignals;
    // The same signals as they are saved, changed along with them.
    EncodedUsageSignals encodedUsageSignals;
    ManualTagMap manualTagsByID;
    // The lexical pass running on a worker; a newer pass cancels it.
    std::optional<CancellationToken> lexicalPass;
    // The items of the list the lexical pass published last and of the one before it: the next
    // pass moves items out of one that nothing shows any more. Both go once another pass
    // publishes instead, so that no list outlives the typing that made it.
    std::optional<LexicalList> shownLexicalList;
    std::optional<LexicalList> earlierLexicalList;
    // The current deep search; a newer one cancels it.
    std::optional<CancellationToken> deepSearchTask;
    // Set when items() changed after the index was last brought up to date; the refresh then
    // catches up first, so it never shows an item as it was before an edit.
    bool itemsChangedSinceIndexing = true;
};

} // namespace vesk
