// The store as file intake reaches it, and the store's file intake operations, which it forwards.
#include "store/VeskStore.h"

#include "store/FileIntake.h"
#include "store/FileIntakeHost.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryItems.h"
#include "store/SQLiteDatabase.h"
#include "platform/Log.h"

namespace vesk {

class VeskStore::FileIntakeStoreHost final : public FileIntakeHost {
public:
    explicit FileIntakeStoreHost(VeskStore& store) : m_store(store) {}

    QDateTime now() const override { return m_store.m_services.clock->now(); }
    QString dataDirectory() const override { return m_store.m_services.dataDirectory; }
    bool watchesInboxes() const override { return m_store.m_services.watchInboxes; }
    bool libraryReadWhole() const override
    {
        return m_store.itemsLoaded() && !m_store.libraryProblem() && m_store.m_file->database();
    }
    const QList<VeskItem>& items() const override { return m_store.items(); }
    ItemsReading itemsReading() const override { return m_store.m_library->reading(); }
    std::optional<VeskItem> currentItem(const QUuid& id) const override
    {
        return m_store.m_library->item(id);
    }
    QString managedItemsDirectory() const override { return m_store.managedItemsDirectory(); }
    std::optional<QString> whyChangesAreRefused() const override { return m_store.whyChangesAreRefused(); }
    bool libraryHasProblem() const override { return m_store.libraryProblem().has_value(); }
    void reportFailure(const QString& title, const QString& detail, const QString& subject) override
    {
        m_store.reportFailure(title, detail, subject);
    }
    int libraryClears() const override { return m_store.m_file->clears(); }
    SerialExecutor& captureWorker() override { return m_store.m_file->captureWorker(); }
    std::shared_ptr<CaptureRowWriter> backgroundWriter() override { return m_store.m_file->backgroundWriter(); }
    SerialExecutor& libraryTasksWorker() override { return m_store.m_file->libraryTasksWorker(); }
    bool commitNewItem(const VeskItem& item, bool alreadyWritten) override
    {
        return m_store.commitArrivedItem(item, std::nullopt, alreadyWritten).hasValue();
    }
    bool updateItemFromWork(const VeskItem& item) override { return m_store.updateItemFromWork(item); }
    void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard) override
    {
        m_store.whenRowWritten(id, wait, std::move(heard));
    }
    void saveIfUnsaved(const VeskItem& item) override
    {
        if (m_store.unsavedItemIDs().contains(item.id))
            (void)m_store.saveItemToDatabase(item);
    }
    void removeManagedFile(const VeskItem& item) override { m_store.removeManagedFile(item); }
    bool withdrawNewItem(const QUuid& id) override
    {
        const std::optional<VeskItem> item = m_store.m_library->item(id);
        if (!item)
            return true;
        if (SQLiteDatabase* database = m_store.m_file->database()) {
            if (auto deleted = database->deleteItem(id); !deleted) {
                veskLog(QStringLiteral("Vesk import withdraw error for ") + item->title + QStringLiteral(": ")
                        + deleted.error().logText());
                return false;
            }
        }
        m_store.removeManagedFile(*item);
        if (m_store.m_services.thumbnails)
            (void)m_store.m_services.thumbnails->removeThumbnail(id);
        if (m_store.intakeNotice() && m_store.intakeNotice()->relatedID == id)
            m_store.setIntakeNotice(std::nullopt);
        m_store.forgetDeletedItems({id});
        return true;
    }
    void selectKept(const QUuid& id, bool recordUse) override
    {
        m_store.setSelectedID(id);
        m_store.setSelectedIDs({id});
        if (recordUse)
            m_store.recordUsage(id);
    }
    void postNotice(const VeskIntakeNotice& notice) override { m_store.setIntakeNotice(notice); }
    void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) override
    {
        m_store.announceWhenRowWritten(id, wait, notice);
    }
    void startImageTasks(const VeskItem& item) override { m_store.startImageTasks(item); }
    void changeImportCount(int delta) override
    {
        m_store.setImportCountInProgress(std::max(0, m_store.importCountInProgress() + delta));
    }
    void changeInboxImportCount(int delta) override
    {
        m_store.setInboxImportCount(std::max(0, m_store.inboxImportCount() + delta));
    }
    void changeCloudImportCount(int delta) override
    {
        m_store.setCloudImportCount(std::max(0, m_store.cloudImportCount() + delta));
    }

private:
    VeskStore& m_store;
};

void VeskStore::makeFileIntake()
{
    m_fileIntake = std::make_unique<FileIntake>(std::make_unique<FileIntakeStoreHost>(*this));
    connect(this, &VeskStore::itemsChanged, m_fileIntake.get(), &FileIntake::noteItemsChanged);
    connect(m_fileIntake.get(), &FileIntake::importProgressChanged, this, &VeskStore::importProgressChanged);
    connect(m_fileIntake.get(), &FileIntake::storedPackagesRerouted, this, &VeskStore::storedPackagesRerouted);
}

QFuture<bool> VeskStore::importFile(const QString& path, const QString& subject)
{
    assertMainThread();
    return m_fileIntake->importFile(path, subject);
}

QFuture<bool> VeskStore::importNativeFile(const QByteArray& nativePath)
{
    assertMainThread();
    return m_fileIntake->importNativeFile(nativePath);
}

void VeskStore::cancelImport(const QUuid& importID)
{
    assertMainThread();
    m_fileIntake->cancelImport(importID);
}

void VeskStore::cancelAllImports()
{
    assertMainThread();
    m_fileIntake->cancelAllImports();
}

QStringList VeskStore::importsUnderWay() const
{
    return m_fileIntake->importsUnderWay();
}

const std::optional<VeskImportProgress>& VeskStore::importProgress() const
{
    return m_fileIntake->importProgress();
}

void VeskStore::setImportProgress(const std::optional<VeskImportProgress>& value)
{
    assertMainThread();
    m_fileIntake->setImportProgress(value);
}

void VeskStore::importInboxFiles(const QStringList& paths)
{
    assertMainThread();
    m_fileIntake->importInboxFiles(paths);
}

void VeskStore::importInboxNativeFiles(const QList<QByteArray>& nativePaths)
{
    assertMainThread();
    m_fileIntake->importInboxNativeFiles(nativePaths);
}

void VeskStore::importInboxNativeFiles(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps)
{
    assertMainThread();
    m_fileIntake->importInboxNativeFiles(nativePaths, stamps);
}

void VeskStore::importCloudInboxPackages(const QStringList& paths)
{
    assertMainThread();
    m_fileIntake->importCloudInboxPackages(paths);
}

void VeskStore::importCloudInboxPackages(const QStringList& paths, const QList<QByteArray>& stamps,
                                         const QList<bool>& folders)
{
    assertMainThread();
    m_fileIntake->importCloudInboxPackages(paths, stamps, folders);
}

QFuture<ItemsFolderSweepReport> VeskStore::itemsFolderSweep() const
{
    return m_fileIntake->itemsFolderSweep();
}

std::optional<QFuture<bool>> VeskStore::importIfPackage(const QString& path)
{
    assertMainThread();
    return m_fileIntake->importIfPackage(path);
}

QFuture<bool> VeskStore::importMobileNotePackage(const QString& package)
{
    assertMainThread();
    return m_fileIntake->importMobileNotePackage(package);
}

QFuture<bool> VeskStore::importActivityPackage(const QString& package)
{
    assertMainThread();
    return m_fileIntake->importActivityPackage(package);
}

bool VeskStore::isActivityPackage(const QString& path, bool isFolder)
{
    return FileIntake::isActivityPackage(path, isFolder);
}

void VeskStore::rerouteStoredPackages()
{
    assertMainThread();
    m_fileIntake->rerouteStoredPackages();
}

} // namespace vesk
