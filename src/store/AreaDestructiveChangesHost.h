#pragma once

#include "platform/SerialExecutor.h"
#include "store/CaptureRowWriter.h"
#include "store/DestructiveChangesHost.h"
#include "store/LibraryFile.h"
#include "store/LibraryItems.h"
#include "store/VeskStore.h"

namespace vesk {

// What the destructive changes reach: the store's own list, selection, refusals and forgetting.
class VeskStore::AreaDestructiveChangesHost final : public DestructiveChangesHost {
public:
    explicit AreaDestructiveChangesHost(VeskStore& store) : m_store(store) {}

    const QList<VeskItem>& items() const override { return m_store.items(); }
    QList<VeskItem> itemsWithIDs(const QSet<QUuid>& ids) const override { return m_store.m_library->itemsWithIDs(ids); }
    const QSet<QUuid>& selectedIDs() const override { return m_store.selectedIDs(); }
    SQLiteDatabase* database() override { return m_store.m_file->database(); }
    std::optional<BackgroundFileChange> changeFileInBackground(
        const std::function<SQLiteDatabase::VoidResult(SQLiteDatabase&)>& change) override
    {
        const std::shared_ptr<CaptureRowWriter> writer = m_store.m_file->backgroundWriter();
        if (!writer)
            return std::nullopt;
        return m_store.m_file->captureWorker().run([writer, change]() -> std::optional<SQLiteDatabase::VoidResult> {
            SQLiteDatabase* database = writer->database();
            if (!database)
                return std::nullopt;
            return change(*database);
        });
    }
    bool refuse(const QString& title, const QString& whatDidNotHappen) override
    {
        return m_store.refuseWhileReadOnly(title, whatDidNotHappen);
    }
    void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error) override
    {
        m_store.reportRefused(title, whatDidNotHappen, error);
    }
    void removeManagedFile(const VeskItem& item) override { m_store.removeManagedFile(item); }
    void forgetItems(const QSet<QUuid>& ids) override { m_store.forgetDeletedItems(ids); }
    void releaseGroupMembers(const QUuid& groupID) override { m_store.releaseGroupMembers(groupID); }
    void forgetLibrary() override { m_store.forgetWholeLibrary(); }

private:
    VeskStore& m_store;
};

} // namespace vesk
