#pragma once

#include "store/FailureWording.h"
#include "store/ItemAccess.h"
#include "store/LibraryHealth.h"
#include "store/LibraryItems.h"
#include "store/VeskStore.h"

namespace vesk {

// The items as the areas reach them: through the store's own reading and saving.
class VeskStore::AreaItemAccess final : public ItemAccess {
public:
    explicit AreaItemAccess(VeskStore& store) : m_store(store) {}

    std::optional<VeskItem> currentItem(const QUuid& id) const override
    {
        return m_store.m_library->item(id);
    }
    bool refuseNewItem(const QString& title) override { return m_store.refuseNewItemWhileBlocked(title); }
    bool refuseChange(const VeskItem& item) override
    {
        return m_store.refuseWhileReadOnly(QStringLiteral("Not changed"),
                                           quotedItemTitle(item.title) + QStringLiteral(" was not changed"));
    }
    std::optional<QString> newItemRefusal() const override { return m_store.newItemRefusal(); }
    Expected<void, QString> commitNewItem(const VeskItem& item) override
    {
        return m_store.commitNewItemWithRichText(item, std::nullopt, false);
    }
    bool updateItem(const VeskItem& item) override { return m_store.updateItem(item); }
    VeskItem sourceItem(const VeskItem& item) const override { return m_store.sourceItem(item); }
    void select(const QUuid& id) override { m_store.select(id); }
    void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) override
    {
        m_store.announceWhenRowWritten(id, wait, notice);
    }
    void reportFailure(const QString& title, const QString& detail) override { m_store.reportFailure(title, detail); }
    bool rowWaitsForLibraryCheck(const QUuid& id) const override { return m_store.savingItemIDs().contains(id); }

private:
    VeskStore& m_store;
};

} // namespace vesk
