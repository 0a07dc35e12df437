// The store's operations of the library's health and of the rich-text bodies, forwarded to their
// areas, and the adapter through which those reach the store.
#include "store/HealthAreaHost.h"
#include "store/LibraryItems.h"

#include "intake/ManagedStorage.h"
#include "store/CaptureRowWriter.h"
#include "store/LibraryHealth.h"
#include "store/RichTextBodies.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

std::optional<VeskItem> VeskStore::HealthAreaHost::currentItem(const QUuid& id) const
{
    return m_store.m_library->item(id);
}

void VeskStore::HealthAreaHost::closeDamagedLibrary()
{
    m_store.m_database.reset();
    m_store.m_captureWriter.reset();
    m_store.cancelFaceBackfill();
}

void VeskStore::HealthAreaHost::adoptNewLibrary(std::unique_ptr<SQLiteDatabase> database)
{
    m_store.m_database = std::move(database);
    m_store.m_library->setWhole(true);
}

void VeskStore::makeHealthAreas()
{
    m_healthHost = std::make_unique<HealthAreaHost>(*this);
    m_health = std::make_unique<LibraryHealth>(m_services, *m_healthHost);
    m_richText = std::make_unique<RichTextBodies>(m_services.recoverySnapshots, *m_healthHost);
    connect(m_health.get(), &LibraryHealth::failureNoticeChanged, this, &VeskStore::failureNoticeChanged);
    connect(m_health.get(), &LibraryHealth::unsavedItemIDsChanged, this, &VeskStore::unsavedItemIDsChanged);
    connect(m_health.get(), &LibraryHealth::savingItemIDsChanged, this, &VeskStore::savingItemIDsChanged);
    connect(m_health.get(), &LibraryHealth::libraryProblemChanged, this, &VeskStore::libraryProblemChanged);
    connect(m_richText.get(), &RichTextBodies::bodiesChanged, this, &VeskStore::richTextByIDChanged);
}

// Failure notice

const std::optional<VeskFailureNotice>& VeskStore::failureNotice() const
{
    return m_health->failureNotice();
}

void VeskStore::setFailureNotice(const std::optional<VeskFailureNotice>& value)
{
    assertMainThread();
    m_health->setFailureNotice(value);
}

void VeskStore::reportFailure(const QString& title, const QString& detail)
{
    assertMainThread();
    m_health->reportFailure(title, detail);
}

void VeskStore::reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error)
{
    m_health->reportRefused(title, whatDidNotHappen, error);
}

bool VeskStore::refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen)
{
    if (destructiveChangeRunning()) {
        reportFailure(title, whatDidNotHappen + QStringLiteral(": Vesk is still finishing a delete. Try again in a moment."));
        return true;
    }
    return m_health->refuseWhileReadOnly(title, whatDidNotHappen);
}

void VeskStore::dismissFailureNotice()
{
    m_health->dismissFailureNotice();
}

// Saving rows and unsaved items

bool VeskStore::writeItem(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    return m_health->writeItem(item, rtf);
}

void VeskStore::noteItemWritten(const QUuid& id)
{
    m_health->noteItemWritten(id);
}

void VeskStore::markUnsaved(const VeskItem& item, const QString& reason)
{
    m_health->markUnsaved(item, reason);
}

void VeskStore::markSaved(const QUuid& id)
{
    m_health->markSaved(id);
}

const QSet<QUuid>& VeskStore::unsavedItemIDs() const
{
    return m_health->unsavedItemIDs();
}

int VeskStore::retryUnsavedItems()
{
    assertMainThread();
    return m_health->retryUnsavedItems();
}

void VeskStore::forgetUnsavedItems(const QSet<QUuid>& ids)
{
    m_health->forgetUnsavedItems(ids);
}

// The check of the library file

const QSet<QUuid>& VeskStore::savingItemIDs() const
{
    return m_health->savingItemIDs();
}

bool VeskStore::libraryCheckPending() const
{
    return m_health->libraryCheckPending();
}

bool VeskStore::libraryCheckWaiting() const
{
    return m_health->libraryCheckWaiting();
}

void VeskStore::startLibraryCheck()
{
    m_health->startLibraryCheck();
}

void VeskStore::waitForLibraryCheck()
{
    m_health->waitForLibraryCheck();
}

bool VeskStore::holdRowForLibraryCheck(const QUuid& id)
{
    return m_health->holdRowForLibraryCheck(id);
}

void VeskStore::afterLibraryCheck(std::function<void()> work)
{
    m_health->afterLibraryCheck(std::move(work));
}

bool VeskStore::rowIsWritten(const QUuid& id) const
{
    return m_health->rowIsWritten(id);
}

void VeskStore::forgetSavingItems(const QSet<QUuid>& ids)
{
    m_health->forgetSavingItems(ids);
}

// Opening the library and its problems

void VeskStore::openLibraryDatabase()
{
    m_database = m_health->openLibrary();
}

const std::optional<VeskLibraryProblem>& VeskStore::libraryProblem() const
{
    return m_health->libraryProblem();
}

void VeskStore::setLibraryProblem(const std::optional<VeskLibraryProblem>& value)
{
    assertMainThread();
    m_health->setLibraryProblem(value);
}

const std::optional<QString>& VeskStore::readOnlyReason() const
{
    return m_health->readOnlyReason();
}

void VeskStore::failItemsLoad(const DatabaseError& error)
{
    // Writing on into a file whose items cannot be read could bury what is left in it: the
    // connection goes, and the window says why instead of showing an empty library.
    const QString path = m_database ? m_database->filePath() : m_health->libraryFilePath();
    m_database.reset();
    m_library->setWhole(false);
    m_library->setItems({});
    m_health->reportUnreadable(path, error);
}

bool VeskStore::startNewLibrary()
{
    assertMainThread();
    return m_health->startNewLibrary();
}

std::optional<QString> VeskStore::newestRecoverySnapshot() const
{
    return m_health->newestRecoverySnapshot();
}

void VeskStore::relocateManagedPaths()
{
    const QString items = managedItemsDirectory();
    const bool changed = m_library->changeEach([&](VeskItem& item) {
        if (!item.filePath)
            return false;
        auto moved = relocatedManagedPath(*item.filePath, item.id, items);
        if (!moved)
            return false;
        item.filePath = *moved;
        return true;
    });
    if (changed)
        m_library->publishItems();
}

// Rich-text bodies

const QHash<QUuid, QByteArray>& VeskStore::richTextByID() const
{
    return m_richText->bodies();
}

void VeskStore::setRichTextByID(const QHash<QUuid, QByteArray>& value)
{
    assertMainThread();
    m_richText->setBodies(value);
}

std::optional<QByteArray> VeskStore::richText(const QUuid& id) const
{
    return m_richText->body(id);
}

void VeskStore::adoptRichText(const QUuid& id, const QByteArray& rtf)
{
    m_richText->adopt(id, rtf);
}

void VeskStore::updateRichText(const QUuid& id, const QByteArray& rtf)
{
    assertMainThread();
    m_richText->update(id, rtf);
}

bool VeskStore::saveItemEdits(const QUuid& id, const QString& title, const QString& plainText,
                              const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    return m_richText->saveEdits(id, title, plainText, rtf);
}

} // namespace vesk
