#include "store/VeskStore.h"

#include "platform/SerialExecutor.h"
#include "platform/ThreadPriority.h"
#include "store/AreaItemAccess.h"
#include "store/BringBackSchedule.h"
#include "store/CaptureQueue.h"
#include "store/AreaDestructiveChangesHost.h"
#include "store/DestructiveChanges.h"
#include "store/EditedVersions.h"
#include "store/FaceLibrary.h"
#include "store/FaceLibraryAccess.h"
#include "store/FileIntake.h"
#include "store/HealthAreaHost.h"
#include "store/LibraryHealth.h"
#include "store/LibraryItems.h"
#include "store/LibraryFile.h"
#include "store/LibraryGroups.h"
#include "store/LibrarySelection.h"
#include "store/LibraryReading.h"
#include "store/LibraryStartup.h"
#include "store/RichTextBodies.h"
#include "store/SQLiteDatabase.h"
#include "store/LibrarySearch.h"
#include "store/SecureItems.h"
#include "store/StartupLoading.h"

#include <QDir>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <mutex>

namespace vesk {

VeskStore::VeskStore(VeskServices services, QObject* parent)
    : QObject(parent), m_services(services.completed())
{
    assertMainThread();
    makeAreas();
    m_loading->start();
}

VeskStore::~VeskStore()
{
    // Every result comes back through a watcher that is a child of the store (deliverResult), so
    // nothing reaches the store once it is gone. Its own workers are waited for here and by their
    // owners below; what it handed to the shared pools holds nothing of the store.
    m_health->stopLibraryCheck();
    // New items whose rows never reached the library file (refused, or waiting for the check) go
    // with the store; a secure one's secret would outlive it in the keyring.
    QList<VeskItem> givenUp;
    for (const QUuid& id : m_health->itemsNeverWritten()) {
        if (const std::optional<VeskItem> item = m_library->item(id))
            givenUp.append(*item);
    }
    m_secure->removeSecretsOfGivenUpItems(givenUp);
    cancelAllImports();
    cancelFaceBackfill();
    // A worker reading the index or the vectors stops at its next turn; none starts again.
    m_search->stopReading();
    // A reading still running finishes on its worker; its result is dropped with the store.
    m_startup.reset();
}

void VeskStore::assertMainThread() const
{
    Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(),
               "VeskStore", "store used off the main thread");
}

qsizetype VeskStore::indexOfItem(const QUuid& id) const
{
    return m_library->indexOf(id);
}

namespace {

bool createdLater(const VeskItem& a, const VeskItem& b) { return a.createdAt > b.createdAt; }

} // namespace

void VeskStore::sortItems(QList<VeskItem>& items)
{
    std::stable_sort(items.begin(), items.end(), createdLater);
}

bool VeskStore::isSortedNewestFirst(const QList<VeskItem>& items)
{
    return std::is_sorted(items.cbegin(), items.cend(), createdLater);
}

// --- Published state, kept by LibraryItems ---

const QList<VeskItem>& VeskStore::items() const { return m_library->items(); }
const QList<VeskItem>& VeskStore::filteredItems() const { return m_library->filteredItems(); }
const QString& VeskStore::searchText() const { return m_library->searchText(); }
bool VeskStore::searchReady() const { return m_library->searchReady(); }
bool VeskStore::itemsLoaded() const { return m_library->isWhole(); }
int VeskStore::importCountInProgress() const { return m_library->importCountInProgress(); }
int VeskStore::indexingCount() const { return m_library->indexingCount(); }
int VeskStore::inboxImportCount() const { return m_library->inboxImportCount(); }
int VeskStore::cloudImportCount() const { return m_library->cloudImportCount(); }
const std::optional<VeskIntakeNotice>& VeskStore::intakeNotice() const { return m_library->intakeNotice(); }
const QHash<QUuid, QString>& VeskStore::retrievalHints() const { return m_library->retrievalHints(); }

void VeskStore::setSearchText(const QString& value)
{
    assertMainThread();
    m_library->setSearchText(value);
}

void VeskStore::setImportCountInProgress(int value)
{
    assertMainThread();
    m_library->setImportCountInProgress(value);
}

void VeskStore::setIndexingCount(int value)
{
    assertMainThread();
    m_library->setIndexingCount(value);
}

void VeskStore::setInboxImportCount(int value)
{
    assertMainThread();
    m_library->setInboxImportCount(value);
}

void VeskStore::setCloudImportCount(int value)
{
    assertMainThread();
    m_library->setCloudImportCount(value);
}

void VeskStore::setIntakeNotice(const std::optional<VeskIntakeNotice>& value)
{
    assertMainThread();
    m_library->setIntakeNotice(value);
}

void VeskStore::setRetrievalHints(const QHash<QUuid, QString>& value)
{
    assertMainThread();
    m_library->setRetrievalHints(value);
}

} // namespace vesk
