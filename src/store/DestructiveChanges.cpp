#include "store/DestructiveChanges.h"

#include "model/ItemFileKinds.h"
#include "model/ServiceInterfaces.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SecretStore.h"
#include "store/DestructiveChangesHost.h"
#include "store/FailureWording.h"
#include "store/LibraryGroups.h"
#include "store/SQLiteDatabase.h"

#include <utility>

namespace vesk {

namespace {

QString notDeleted(qsizetype count)
{
    return count == 1 ? QStringLiteral("The item was not deleted")
                      : QStringLiteral("The %1 items were not deleted").arg(count);
}

} // namespace

DestructiveChanges::DestructiveChanges(std::shared_ptr<RecoverySnapshotService> snapshots,
                                       std::shared_ptr<SecretStore> secrets,
                                       std::shared_ptr<ThumbnailProvider> thumbnails, LibraryGroups& groups,
                                       DestructiveChangesHost& host, QObject* parent)
    : QObject(parent), m_snapshots(std::move(snapshots)), m_secrets(std::move(secrets)),
      m_thumbnails(std::move(thumbnails)), m_groups(groups), m_host(host)
{
}

bool DestructiveChanges::outsideRunningChange(const std::function<bool()>& work)
{
    // Not published: nothing outside sees the change stop waiting.
    const bool waiting = std::exchange(m_running, false);
    const bool answer = work();
    m_running = waiting;
    return answer;
}

void DestructiveChanges::removeItemTraces(const VeskItem& item)
{
    m_host.removeManagedFile(item);
    // An entry the keyring keeps (left locked) does not hold back the item's removal.
    if (itemHasSecureMarker(item))
        static_cast<void>(m_secrets->deleteItem(item.id));
    // Not waited for: the cache removes it on its own worker.
    m_thumbnails->removeThumbnail(item.id);
}

bool DestructiveChanges::afterSnapshot(const QString& reason, std::function<bool()> change)
{
    // A failed snapshot is logged by the snapshots and never stops the change.
    const QFuture<bool> snapshot = m_snapshots->snapshotBeforeDestructiveChange(reason);
    if (snapshot.isFinished())
        return change();
    setRunning(true);
    deliverResult(this, snapshot, [this, change = std::move(change)](bool) {
        (void)change();
        if (!m_changingFile)
            setRunning(false);
    });
    return true;
}

void DestructiveChanges::changeFile(std::function<SQLiteDatabase::VoidResult(SQLiteDatabase&)> change,
                                    std::function<void(const std::optional<DatabaseError>&)> after)
{
    const auto failureOf = [](const SQLiteDatabase::VoidResult& result) {
        return result ? std::nullopt : std::optional<DatabaseError>(result.error());
    };
    SQLiteDatabase* database = m_host.database();
    if (!database) {
        after(std::nullopt);
        return;
    }
    std::optional<DestructiveChangesHost::BackgroundFileChange> background = m_host.changeFileInBackground(change);
    if (!background) {
        after(failureOf(change(*database)));
        return;
    }
    m_changingFile = true;
    setRunning(true);
    deliverResult(this, *background,
        [this, change = std::move(change), after = std::move(after), failureOf](
            const std::optional<SQLiteDatabase::VoidResult>& result) {
            m_changingFile = false;
            if (result) {
                after(failureOf(*result));
            } else {
                // The worker could not open its connection: the main one makes the change.
                SQLiteDatabase* database = m_host.database();
                after(database ? failureOf(change(*database)) : std::nullopt);
            }
            setRunning(false);
        });
}

void DestructiveChanges::setRunning(bool value)
{
    if (m_running == value)
        return;
    m_running = value;
    emit runningChanged();
}

void DestructiveChanges::deleteItems()
{
    const QSet<QUuid> selection = m_host.selectedIDs();
    if (selection.isEmpty())
        return;
    if (m_host.refuse(QStringLiteral("Not deleted"), notDeleted(selection.size())))
        return;
    afterSnapshot(QStringLiteral("before-bulk-delete"), [this, selection] {
        deleteItemsNow(selection);
        return true;
    });
}

void DestructiveChanges::deleteItemsNow(const QSet<QUuid>& selection)
{
    m_deleting = selection;
    changeFile([selection](SQLiteDatabase& database) { return database.deleteItems(selection); },
               [this, selection](const std::optional<DatabaseError>& failure) {
                   forgetDeletedItems(selection, failure);
               });
}

void DestructiveChanges::forgetDeletedItems(const QSet<QUuid>& selection, const std::optional<DatabaseError>& failure)
{
    m_deleting.clear();
    if (failure) {
        veskLog(QStringLiteral("Vesk bulk database delete error: ") + failure->logText());
        m_host.reportRefused(QStringLiteral("Not deleted"), notDeleted(selection.size()), *failure);
        return;
    }
    for (const VeskItem& item : m_host.itemsWithIDs(selection))
        removeItemTraces(item);
    m_host.forgetItems(selection);
}

void DestructiveChanges::clearLibrary()
{
    if (m_host.refuse(QStringLiteral("Not deleted"), notDeleted(m_host.items().size())))
        return;
    afterSnapshot(QStringLiteral("before-clear-library"), [this] {
        clearLibraryNow();
        return true;
    });
}

void DestructiveChanges::clearLibraryNow()
{
    m_clearing = true;
    changeFile([](SQLiteDatabase& database) { return database.deleteAllRecords(); },
               [this](const std::optional<DatabaseError>& failure) { forgetLibrary(failure); });
}

void DestructiveChanges::forgetLibrary(const std::optional<DatabaseError>& failure)
{
    m_clearing = false;
    if (failure) {
        veskLog(QStringLiteral("Vesk clear-library database error: ") + failure->logText());
        m_host.reportRefused(QStringLiteral("Not deleted"), notDeleted(m_host.items().size()), *failure);
        return;
    }
    for (const VeskItem& item : m_host.items())
        removeItemTraces(item);
    m_host.forgetLibrary();
}

bool DestructiveChanges::deleteGroup(const QUuid& id)
{
    const std::optional<VeskGroup> group = m_groups.group(id);
    if (!group)
        return false;
    const QString name = group->name;
    if (m_host.refuse(QStringLiteral("Group not deleted"), quotedItemTitle(name) + QStringLiteral(" was not deleted")))
        return false;
    return afterSnapshot(QStringLiteral("before-delete-group"), [this, id, name] { return deleteGroupNow(id, name); });
}

bool DestructiveChanges::deleteGroupNow(const QUuid& id, const QString& name)
{
    // The members as they will be, written whole together with the group's removal: a library of
    // thousands of members is one transaction, and a refusal leaves the group and its members as
    // they were, in the file and on screen.
    QList<VeskItem> members;
    for (const VeskItem& item : m_host.items()) {
        if (item.groupID == id) {
            members.append(item);
            members.last().groupID.reset();
        }
    }
    if (!m_groups.remove(id, name, members))
        return false;
    m_host.releaseGroupMembers(id);
    m_snapshots->noteChange();
    return true;
}

} // namespace vesk
