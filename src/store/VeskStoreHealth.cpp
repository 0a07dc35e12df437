// The store's operations of the library's health and of the rich-text bodies, forwarded to their
// areas, and the adapter through which those reach the store.
#include "store/FailureWording.h"
#include "store/HealthAreaHost.h"
#include "store/LibraryItems.h"

#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/RichTextBodies.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

namespace {

// Why a change is refused while a delete waits for its snapshot or finishes.
const QString kFinishingADelete = QStringLiteral("Vesk is still finishing a delete. Try again in a moment");

} // namespace

std::optional<VeskItem> VeskStore::HealthAreaHost::currentItem(const QUuid& id) const
{
    return m_store.m_library->item(id);
}

void VeskStore::HealthAreaHost::closeDamagedLibrary()
{
    m_store.m_file->closeWithWriter();
    m_store.cancelFaceBackfill();
}

void VeskStore::HealthAreaHost::adoptNewLibrary(std::unique_ptr<SQLiteDatabase> database)
{
    m_store.m_file->adopt(std::move(database));
    m_store.m_library->setWhole(true);
}

bool VeskStore::HealthAreaHost::libraryHasHeldItems() const
{
    return m_store.m_file->hasHeldItems();
}

void VeskStore::HealthAreaHost::markLibraryHasHeldItems()
{
    m_store.m_file->markHasHeldItems();
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

void VeskStore::reportFailure(const QString& title, const QString& detail, const QString& subject)
{
    assertMainThread();
    m_health->reportFailure(title, detail, subject);
}

void VeskStore::reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error)
{
    m_health->reportRefused(title, whatDidNotHappen, error);
}

bool VeskStore::refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen)
{
    if (destructiveChangeRunning()) {
        reportFailure(title, whatDidNotHappen + QStringLiteral(": ") + kFinishingADelete + QLatin1Char('.'));
        return true;
    }
    return m_health->refuseWhileReadOnly(title, whatDidNotHappen);
}

std::optional<QString> VeskStore::whyChangesAreRefused() const
{
    if (destructiveChangeRunning())
        return kFinishingADelete;
    return readOnlyReason();
}

void VeskStore::dismissFailureNotice()
{
    m_health->dismissFailureNotice();
}

// Saving rows and unsaved items

const QSet<QUuid>& VeskStore::unsavedItemIDs() const
{
    return m_health->unsavedItemIDs();
}

int VeskStore::retryUnsavedItems()
{
    assertMainThread();
    return m_health->retryUnsavedItems();
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

// Opening the library and its problems

const std::optional<VeskLibraryProblem>& VeskStore::libraryProblem() const
{
    return m_health->libraryProblem();
}

const std::optional<QString>& VeskStore::readOnlyReason() const
{
    return m_health->readOnlyReason();
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

void VeskStore::updateRichText(const QUuid& id, const QByteArray& rtf)
{
    assertMainThread();
    m_richText->update(id, rtf);
}

bool VeskStore::saveItemEdits(const QUuid& id, const QString& title, const QString& plainText,
                              const std::optional<QByteArray>& rtf)
{
    assertMainThread();
    // Refused before anything is written, in the library's own words rather than SQLite's.
    if (const std::optional<VeskItem> current = m_library->item(id);
        current && refuseWhileReadOnly(QStringLiteral("Not changed"),
                                       quotedItemTitle(current->title) + QStringLiteral(" was not changed")))
        return false;
    return m_richText->saveEdits(id, title, plainText, rtf);
}

} // namespace vesk
