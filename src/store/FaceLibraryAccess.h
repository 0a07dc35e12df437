#pragma once

#include "platform/SerialExecutor.h"
#include "store/CaptureRowWriter.h"
#include "store/FaceLibraryHost.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryItems.h"
#include "store/VeskStore.h"

#include <algorithm>

namespace vesk {

// The faces-and-people area's way into the rest of the library: the store's own items, its
// connections and workers, its search and its failure notice.
class VeskStore::FaceLibraryAccess final : public FaceLibraryHost {
public:
    explicit FaceLibraryAccess(VeskStore& store) : m_store(store) {}

    const QList<VeskItem>& items() const override { return m_store.items(); }
    ItemsReading itemsReading() const override { return m_store.m_library->reading(); }
    qsizetype indexOfItem(const QUuid& id) const override { return m_store.indexOfItem(id); }
    bool updateItemFromWork(const VeskItem& item) override { return m_store.updateItemFromWork(item); }
    SQLiteDatabase* database() const override { return m_store.m_file->database(); }
    bool readOnly() const override { return m_store.readOnlyReason().has_value(); }
    bool libraryCheckPending() const override { return m_store.libraryCheckPending(); }
    void afterLibraryCheck(std::function<void()> work, std::function<void()> ifDropped) override
    {
        m_store.m_health->afterLibraryCheck(std::move(work), std::move(ifDropped));
    }
    std::optional<QFuture<Expected<void, DatabaseError>>> writeInBackground(
        std::function<Expected<void, DatabaseError>(SQLiteDatabase&)> write) override
    {
        const std::shared_ptr<CaptureRowWriter> writer = m_store.m_file->backgroundWriter();
        if (!writer)
            return std::nullopt;
        return m_store.m_file->captureWorker().run([writer, write = std::move(write)]() -> Expected<void, DatabaseError> {
            SQLiteDatabase* database = writer->database();
            if (!database)
                return unexpected(DatabaseError::openFailed(QStringLiteral("the library file could not be opened")));
            return write(*database);
        });
    }
    SerialExecutor& libraryTasksWorker() override { return m_store.m_file->libraryTasksWorker(); }
    void refreshSearchAfterFaceChange() override { m_store.refreshSearchAfterFaceChange(); }
    void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error) override
    {
        m_store.reportRefused(title, whatDidNotHappen, error);
    }
    void adjustIndexingCount(int delta) override
    {
        m_store.setIndexingCount(std::max(0, m_store.indexingCount() + delta));
    }

private:
    VeskStore& m_store;
};

} // namespace vesk
