#pragma once

#include "model/VeskItem.h"
#include "model/VeskNotices.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// The library's items as the window sees them, and what it shows of them: the list newest first,
// the search text and the list it filters, the counters of work under way, the intake notice and
// the reasons beside the first results. Every change publishes through a ...Changed signal (the
// store forwards them as its own); a setter ignores an equal value. Main thread only.
//
// Finding an item by identifier takes constant time: each identifier keeps a slot that a shift
// turns into its position, so a new item at the front moves no other entry.
class LibraryItems : public QObject {
    Q_OBJECT

public:
    explicit LibraryItems(QObject* parent = nullptr);

    // --- The items, newest first ---

    const QList<VeskItem>& items() const { return m_items; }
    // Position of the first item with this identifier, or -1.
    qsizetype indexOf(const QUuid& id) const;
    // The item with this identifier as it is now; none when it is not in the list.
    std::optional<VeskItem> item(const QUuid& id) const;
    // Replaces the whole list; publishes when it differs.
    void setItems(const QList<VeskItem>& value);
    // Replaces the whole list without saying so: the caller publishes once it has done the rest.
    void adoptItems(QList<VeskItem> value);
    // Puts a new item at the front and publishes itemsChanged, then itemAdded. The list keeps room
    // at its front, so this copies no other item unless another list still shares this one.
    void prepend(const VeskItem& item);
    // Replaces the item at index when it differs (its identifier may change); publishes then.
    // Returns whether it changed.
    bool replaceAt(qsizetype index, const VeskItem& item);
    // Calls change(item) on each item in list order; it returns whether it changed the item and
    // keeps its identifier. Does not publish (publishItems() does); returns whether any changed.
    template <typename Change>
    bool changeEach(Change change)
    {
        bool changed = false;
        for (VeskItem& item : m_items) {
            [[maybe_unused]] const QUuid id = item.id;
            if (change(item))
                changed = true;
            Q_ASSERT(item.id == id);
        }
        return changed;
    }
    // Says that the items changed (after adoptItems or changeEach).
    void publishItems() { emit itemsChanged(); }

    // True only when start-up read the whole stored library into items().
    bool isWhole() const { return m_whole; }
    void setWhole(bool whole) { m_whole = whole; }

    // --- What the window shows of them ---

    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& value);
    const QList<VeskItem>& filteredItems() const { return m_filteredItems; }
    // Publishes when different (compared item by item); the list replaced is freed on a worker.
    void setFilteredItems(const QList<VeskItem>& value);
    // Publishes a list that differs by construction, without comparing the two.
    void replaceFilteredItems(const QList<VeskItem>& value);
    // Lets go of the published list without saying so: it is published again right after.
    void releaseFilteredItems() { m_filteredItems = QList<VeskItem>(); }
    bool searchReady() const { return m_searchReady; }
    void setSearchReady(bool value);
    const QHash<QUuid, QString>& retrievalHints() const { return m_retrievalHints; }
    void setRetrievalHints(const QHash<QUuid, QString>& value);
    const std::optional<VeskIntakeNotice>& intakeNotice() const { return m_intakeNotice; }
    void setIntakeNotice(const std::optional<VeskIntakeNotice>& value);

    // --- Counters of work under way ---

    int importCountInProgress() const { return m_importCountInProgress; }
    void setImportCountInProgress(int value);
    int indexingCount() const { return m_indexingCount; }
    void setIndexingCount(int value);
    int inboxImportCount() const { return m_inboxImportCount; }
    void setInboxImportCount(int value);
    int cloudImportCount() const { return m_cloudImportCount; }
    void setCloudImportCount(int value);

signals:
    void itemsChanged();
    void itemAdded(const QUuid& id);
    void searchTextChanged();
    void filteredItemsChanged();
    void searchReadyChanged();
    void retrievalHintsChanged();
    void intakeNoticeChanged();
    void importCountInProgressChanged();
    void indexingCountChanged();
    void inboxImportCountChanged();
    void cloudImportCountChanged();

private:
    void rebuildIndex();

    QList<VeskItem> m_items;
    // Position of an identifier = its slot + m_frontShift; an item put at the front raises the
    // shift, which moves every other item one place back at once.
    QHash<QUuid, qsizetype> m_slotByID;
    qsizetype m_frontShift = 0;
    bool m_whole = false;

    QString m_searchText;
    QList<VeskItem> m_filteredItems;
    bool m_searchReady = true;
    QHash<QUuid, QString> m_retrievalHints;
    std::optional<VeskIntakeNotice> m_intakeNotice;
    int m_importCountInProgress = 0;
    int m_indexingCount = 0;
    int m_inboxImportCount = 0;
    int m_cloudImportCount = 0;
};

} // namespace vesk
