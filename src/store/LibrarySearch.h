#pragma once

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"
#include "store/VeskServices.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class DefaultOrder;
class PendingDelay;
class ReadGate;
class LibrarySearchHost;
class NearDuplicateIndex;
class SearchIndex;
class SearchTextPipeline;
class SemanticVectors;
struct LexicalList;
struct LexicalPassResult;
struct LexicalSnapshot;
struct NearDuplicateQuery;
struct PreparedCapture;
struct SearchState;

// A worker's way to the near-duplicate index: it is read only inside a turn of the gate, which
// stops giving turns once the search is gone.
struct NearDuplicateReading {
    std::shared_ptr<ReadGate> gate;
    const NearDuplicateIndex* index = nullptr;
};

// The library's search: the word index and the default order, the lexical pass (as the user
// types) and the deep pass (at a pause, by words and meaning), usage signals, manual tags,
// related items and sentence vectors. It reads the library and publishes its results only
// through its host; the store forwards its operations to it.
class LibrarySearch : public QObject {
    Q_OBJECT

public:
    LibrarySearch(VeskServices services, std::unique_ptr<LibrarySearchHost> host, QObject* parent = nullptr);
    ~LibrarySearch() override;
    // Workers still reading the index or the vectors stop at their next turn; none starts again.
    void stopReading();

    // --- Start-up ---

    // Read the usage signals and the manual tags from the user defaults; undecodable data is none.
    void loadUsageSignals();
    void loadManualTags();
    // The two subscriptions to the search text (the lexical pass after a short pause, the deep
    // pass after a longer one), both fed the current text at once.
    void startPipelines();
    // Feeds a new search text to both subscriptions.
    void searchTextChanged(const QString& text);
    // items() changed without naming its items: the next refresh indexes what changed first.
    void noteItemsChanged();
    // Shows the items newest first, without the brought-back marks in front (the first frame).
    void showNewestFirst();
    // Start-up builds the index on a worker: until adoptIndex, changes are noted to be indexed
    // then, and the first page is shown newest first.
    void beginIndexingInBackground();
    // Start-up has read the whole library into items(): the default order it read, with the
    // changes made meanwhile.
    void takeLoadedOrder(DefaultOrder order, const QList<QUuid>& removed, const QList<VeskItem>& changed,
        const QList<VeskItem>& added);
    // The item changed in place without a search of its own (start-up's reclassification).
    void updateInDefaultOrder(const VeskItem& item);
    // The index is built next from items() as they stand: what changed before is in it.
    void beginIndexBuild();
    // Start-up could not read the library: the order and near-duplicate index follow items().
    void resetToItems();
    // The built index, brought up to date with what changed meanwhile; search is then ready.
    void adoptIndex(SearchIndex index);
    // Start-up ends without a library to index.
    void finishWithoutIndex();
    void adoptNearDuplicates(NearDuplicateIndex index);
    // Vectors read from the library file; those stored meanwhile are newer and kept.
    void adoptStoredVectors(SemanticVectors vectors);
    // Replaces every vector (the synchronous start-up's reading).
    void replaceVectors(SemanticVectors vectors);
    // Embeds, on a turn of the event loop of their own, the items that have no vector yet.
    void startMissingEmbeddings();
    // Manual tags by item, for the index built at start-up.
    QHash<QUuid, QStringList> manualTagsByItem() const;

    // --- Intake and deletion ---

    // The items that could say nearly the same as a new text.
    QList<QUuid> nearDuplicateCandidates(const NearDuplicateQuery& query) const;
    // The near-duplicate index as a worker reads it.
    NearDuplicateReading nearDuplicateReading() const;
    // The words of a capture read off the main thread enter the indexes before its commit.
    void applyPreparedCapture(const PreparedCapture& capture, const VeskItem& item);
    // Forgets the vectors, usage signals and manual tags of deleted items and saves the rest.
    void forgetItems(const QList<VeskItem>& items);
    // The same for a cleared library.
    void forgetAll();

    // --- Operations ---

    void rebuildIndex();
    // The lexical pass, answered now: the items that match the query's words, ranked, or with an
    // empty query the default order.
    void refreshFilteredItems(const QString& query);
    // The lexical pass as typing and changes run it: in a library of lexicalPassOnWorkerFrom
    // items or more it ranks on a worker over the index as it stands, and publishes only while
    // the search text still reads query and no newer pass has replaced it; a smaller library is
    // answered at once.
    void runLexicalPass(const QString& query);
    static constexpr qsizetype lexicalPassOnWorkerFrom = 5000;
    void refreshAfterChange();
    // The deep pass for the query (as typed): runs on a worker once the query's vector is there
    // and publishes what it found while the search text still asks for it.
    void startDeepSearch(const QString& query);
    void recordUsage(const QUuid& id);
    // Re-indexes one item (or drops it when it left items()), then reruns both passes: the
    // cheap path for a single added, edited or removed item.
    void refreshAfterItemChange(const QUuid& id);
    // Whether every change of items() so far has reached the index and the default order, so
    // that a change naming its items needs no walk over the whole list.
    bool followsItems() const;
    // Items taken out of items() together (a bulk delete) leave the index, the default order and
    // the near-duplicate index at the cost of what they held, then both passes run again.
    // followedBefore: followsItems() just before they were taken out; without it the whole list
    // is caught up with, as after any change.
    void refreshAfterItemsRemoved(const QSet<QUuid>& ids, bool followedBefore);
    // After person pool edits: rebuilds, and reruns the passes only while a search is shown.
    void refreshAfterFaceChange();
    // Publishes items() in the default order (what an empty search shows).
    void publishDefaultOrder();
    // Scores the library against query (see search/LexicalMatch.h); changes nothing.
    LexicalSnapshot lexicalMatch(const QString& query) const;
    // 0..1: how much and how lately the item was opened.
    double usageScore(const QUuid& id, const QDateTime& now) const;
    void saveUsageSignals();
    // Manual tags: the item's own, all of its tags for display, editing, and a tag click.
    QSet<QString> manualTags(const VeskItem& item) const;
    QStringList tags(const VeskItem& item) const;
    bool addManualTag(const QString& text, const VeskItem& item);
    void removeManualTag(const QString& text, const VeskItem& item);
    void searchForTag(const QString& text);
    void saveManualTags();
    // Embeds the items one after the other, then reruns search once.
    void embedItems(const QList<VeskItem>& items);
    void embedItem(const VeskItem& item);
    // Sentence vectors of the items, loaded at start-up and kept up to date by the two tasks.
    const SemanticVectors& semanticVectors() const;
    // Keeps a vector in memory and has the host write it.
    void storeEmbedding(const QUuid& id, const QList<double>& vector);

    // --- Related items ---

    // The item this one was made from (an edited picture, a video moment), or the item itself
    // when it has none or its source is gone.
    VeskItem sourceItem(const VeskItem& item) const;
    // Other files that look like versions of the item's file, best first, at most limit.
    QList<VeskItem> relatedVersions(const VeskItem& item, qsizetype limit) const;
    // relatedVersions on a worker, over the list as it is at the call: done gets the versions on
    // the main thread while receiver exists and the returned token has not been cancelled.
    // Comparing every file name of a large library takes longer than a frame.
    CancellationToken findRelatedVersionsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done) const;
    // Items that share words, title words or meaning with the item, best first, at most limit.
    // The ranking (at least six) is remembered until the library, the usage or the embeddings
    // change.
    QList<VeskItem> relatedItems(const VeskItem& item, qsizetype limit);
    // The related items of the item when they are known without ranking (remembered, or none in
    // a library of fewer than two items); none when they are still to be ranked.
    std::optional<QList<VeskItem>> knownRelatedItems(const VeskItem& item, qsizetype limit);
    // Ranks the item's related items on a worker, remembers them and hands them to done on the
    // main thread while receiver exists. Only the latest request is answered; while start-up is
    // still building the index none is (ask again on searchReadyChanged).
    void rankRelatedItemsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done);

private:
    // Tests and benchmarks look at the state through store/StoreInternals.h.
    friend class StoreInternals;

    void assertMainThread() const;
    // Indexes one item again as it is in items() (or drops it when it left them).
    void refreshIndexedItem(const QUuid& id);
    // Cancels a lexical pass still running, brings the index up to date, and answers an empty
    // query (the default order) or one typed before search is ready; false when query is to be
    // ranked.
    bool answeredWithoutRanking(const QString& query);
    // The list of an earlier lexical pass for the next one to move items out of (see
    // LexicalList), or none.
    LexicalList listToReuse();
    // Publishes what a lexical pass found and keeps its list for a later pass.
    void publishLexicalResult(LexicalPassResult&& result);
    // Lets go of the kept lists once a list of another kind is published.
    void forgetLexicalLists();
    // Reruns both passes over the current search text.
    void rerunPasses();
    void finishDeepSearch(const QString& query, const CancellationToken& token,
        const std::optional<QList<double>>& queryVector);
    // Hands the vector the engine is computing to then, on the main thread, in a later turn of
    // the event loop; dropped when the area is gone first.
    void whenEmbedded(QFuture<std::optional<QList<double>>> embedding,
        std::function<void(const std::optional<QList<double>>&)> then);
    // whenEmbedded of the item's embedding input.
    void whenItemEmbedded(const VeskItem& item, std::function<void(const std::optional<QList<double>>&)> then);
    void embedNextItem(std::shared_ptr<const QList<VeskItem>> items, qsizetype next);
    // Keeps the vectors computed while a worker was reading: now, waiting for the turn being
    // read (settleVectors), or as soon as no turn is (keepPendingVectorsWhenFree).
    void settleVectors() const;
    void keepPendingVectorsWhenFree();
    // rerunPasses once every vector computed so far is kept, so that the passes see them.
    void rerunPassesWithAllVectors();
    // A worker's turn has ended: the vectors waiting are kept if no other turn is being read,
    // and a rerun waiting for them starts.
    void keepVectorsAfterRead();
    // The usage score of every item opened.
    QHash<QUuid, double> usageScoresByID(const QDateTime& now) const;
    // The items a ranking names that are still in the library, at most limit of them.
    QList<VeskItem> itemsOfRanking(const QList<QUuid>& ranked, qsizetype limit) const;

    VeskServices m_services;
    std::unique_ptr<LibrarySearchHost> m_host;
    std::shared_ptr<SearchState> m_state;
    std::unique_ptr<SearchTextPipeline> m_lexicalPipeline;
    std::unique_ptr<SearchTextPipeline> m_deepPipeline;
    std::shared_ptr<PendingDelay> m_pendingVectorsRetry;
    bool m_rerunWhenVectorsKept = false;
};

} // namespace vesk
