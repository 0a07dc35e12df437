#pragma once

#include "store/DestructiveChanges.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryHealthHost.h"
#include "store/RichTextHost.h"
#include "store/VeskStore.h"

namespace vesk {

// The library's health and the rich-text bodies as they reach the store: its connection, its
// items and the store's own handling of a library that went or came.
class VeskStore::HealthAreaHost final : public LibraryHealthHost, public RichTextHost {
public:
    explicit HealthAreaHost(VeskStore& store) : m_store(store) {}

    SQLiteDatabase* database() const override { return m_store.m_file->database(); }
    std::optional<VeskItem> currentItem(const QUuid& id) const override;
    std::optional<QByteArray> richText(const QUuid& id) const override { return m_store.richText(id); }
    bool rowBeingDeleted(const QUuid& id) const override { return m_store.m_destructive->rowBeingDeleted(id); }
    bool libraryHasHeldItems() const override;
    void markLibraryHasHeldItems() override;
    void closeDamagedLibrary() override;
    void adoptNewLibrary(std::unique_ptr<SQLiteDatabase> database) override;

    bool rowWaitsForLibraryCheck(const QUuid& id) const override { return m_store.savingItemIDs().contains(id); }
    void adoptSavedItem(const VeskItem& item) override { m_store.adoptSavedItem(item); }
    void reportFailure(const QString& title, const QString& detail) override { m_store.reportFailure(title, detail); }
    QString refusalReason(const DatabaseError& error) const override { return m_store.m_health->refusalReason(error); }

private:
    VeskStore& m_store;
};

} // namespace vesk
