// Note and activity packages from the phone companion: each becomes one item whose file is a
// managed copy of the whole package.
#include "store/FileIntake.h"

#include "intake/ActivityIdentities.h"
#include "intake/MobilePackages.h"
#include "intake/PackageImport.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/Uuid.h"
#include "search/SearchText.h"
#include "platform/WorkPool.h"
#include "store/FailureWording.h"
#include "store/FileIntakeHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace vesk {

namespace {

struct PackageReroute {
    QUuid id;
    QString path;
    std::optional<MobileNoteManifest> note;
    std::optional<MobileActivityManifest> activity;
};

const QString kActivityMarker = QStringLiteral("__vesk_activity__");

QString noteMarker(const QString& noteID) { return QStringLiteral("mobile-note-id:") + noteID.toLower(); }

VeskItem noteItem(const MobileNoteManifest& manifest, const QUuid& id, const QString& managed, const QDateTime& now)
{
    const QString text = manifest.text.trimmed();
    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Text;
    item.title = text.isEmpty() ? QStringLiteral("Photo Note") : deriveTitle(text);
    item.createdAt = now;
    item.text = text;
    item.filePath = managed;
    item.searchableText = QStringList{text, noteMarker(manifest.noteID), QStringLiteral("attached photos"),
                                      QStringLiteral("Vesk Mobile")}
                              .join(QLatin1Char(' '));
    item.note = QString();
    return item;
}

VeskItem activityItem(const std::optional<MobileActivityManifest>& manifest, const QString& packageName,
                      const QUuid& id, const QString& managed, const QDateTime& now)
{
    QString title = manifest && manifest->title ? manifest->title->trimmed() : QString();
    if (title.isEmpty())
        title = QFileInfo(packageName).completeBaseName().trimmed();
    if (title.isEmpty())
        title = QStringLiteral("Vesk Mobile Activity");

    QStringList noteParts;
    QStringList parts{kActivityMarker, QStringLiteral("activity"), QStringLiteral("Vesk Mobile"), title, packageName};
    if (manifest) {
        for (const std::optional<QString>& text : {manifest->summary, manifest->notes}) {
            if (text && !text->trimmed().isEmpty())
                noteParts.append(text->trimmed());
        }
        const auto add = [&parts](const std::optional<QString>& value, const QString& prefix = {}) {
            if (value && !value->isEmpty())
                parts.append(prefix + *value);
        };
        add(manifest->activityID);
        add(manifest->activityType);
        add(manifest->startedAt, QStringLiteral("started "));
        add(manifest->endedAt, QStringLiteral("ended "));
        add(manifest->summary);
        add(manifest->notes);
        add(manifest->locationSummary);
        if (manifest->captureCount)
            parts.append(QString::number(*manifest->captureCount) + QStringLiteral(" captures"));
    }

    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Activity;
    item.title = title;
    item.createdAt = now;
    item.filePath = managed;
    item.searchableText = parts.join(QLatin1Char(' '));
    item.note = noteParts.join(QLatin1Char('\n'));
    return item;
}

// The first activity item, in list order, whose own package names this identity.
std::optional<VeskItem> heldActivity(const QList<VeskItem>& items, const QString& identity,
                                     const ActivityIdentities& identities)
{
    if (identity.isEmpty())
        return std::nullopt;
    for (const VeskItem& held : items) {
        if (held.kind == VeskKind::Activity && identities.identityOf(held.id) == identity)
            return held;
    }
    return std::nullopt;
}

} // namespace

bool FileIntake::isActivityPackage(const QString& path, bool isFolder)
{
    if (hasActivityPackageExtension(path))
        return true;
    return isFolder && QFileInfo::exists(path + QStringLiteral("/activity.json"));
}

std::optional<QFuture<bool>> FileIntake::importIfPackage(const QString& path)
{
    return importIfPackageAs(path, QUuid::createUuid());
}

std::optional<QFuture<bool>> FileIntake::importIfPackageAs(const QString& path, const QUuid& newItemID,
                                                           std::optional<bool> isFolder)
{
    if (!isFolder) {
        const QFileInfo info(path);
        if (!info.exists())
            return std::nullopt;
        isFolder = info.isDir();
    }
    if (*isFolder && hasNotePackageExtension(path))
        return importMobileNotePackageAs(path, newItemID);
    if (isActivityPackage(path, *isFolder))
        return importActivityPackageAs(path, newItemID);
    return std::nullopt;
}

QFuture<bool> FileIntake::importMobileNotePackage(const QString& package)
{
    return importMobileNotePackageAs(package, QUuid::createUuid());
}

QFuture<bool> FileIntake::importMobileNotePackageAs(const QString& package, const QUuid& id)
{
    m_packageImportIDs.insert(id);
    return deliverResultAsFuture(this, QtConcurrent::run(workPool(),
        handedOff([package, items = m_host.managedItemsDirectory(), id] { return prepareNotePackage(package, items, id); })),
        [this, id, package](const PreparedPackage& prepared) -> QFuture<bool> {
            m_packageImportIDs.remove(id);
            if (prepared.missing)
                return packageGone(prepared.source);
            // An inbox entry that changed after its watcher handed it over (replaced by a file of
            // its name, say) is refused for nothing it was: its next delivery judges it afresh.
            if (prepared.refusal && changedSinceHandedOver(prepared.source, prepared.stamp))
                return QtFuture::makeReadyFuture(false);
            if (prepared.refusal) {
                // Nothing was copied and the package stays where it is: the user is told why.
                reportRefusedEntry(package, *prepared.refusal, prepared.stamp);
                return QtFuture::makeReadyFuture(false);
            }
            if (prepared.copyFailure)
                sayCopyFailed(prepared.source, *prepared.copyFailure);
            if (!prepared.note || !prepared.managedPath)
                return QtFuture::makeReadyFuture(false);
            // Looked for only now: the same note may have arrived while this one was copied.
            // Every text is looked through: in UTF-8, where the marker's bytes are found exactly
            // where the marker is.
            const QByteArray marker = noteMarker(prepared.note->noteID).toUtf8();
            VeskItem item = noteItem(*prepared.note, id, *prepared.managedPath, m_host.now());
            for (const VeskItem& held : m_host.items()) {
                if (held.searchableText.utf8().contains(marker))
                    return keepHeldPackage(held, item, prepared.source);
            }
            if (!m_host.commitNewItem(item, false) && !m_host.currentItem(item.id)) {
                m_host.removeManagedFile(item); // refused
                return QtFuture::makeReadyFuture(false);
            }
            m_host.announceWhenRowWritten(item.id, RowWait::FirstWrite,
                                          VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured,
                                                           QStringLiteral("Note with photos received"), item.title, item.id});
            return whenKept(item.id);
        });
}

QFuture<bool> FileIntake::importActivityPackage(const QString& package)
{
    return importActivityPackageAs(package, QUuid::createUuid());
}

QFuture<bool> FileIntake::importActivityPackageAs(const QString& package, const QUuid& id)
{
    m_packageImportIDs.insert(id);
    // The identifiers of the activities held are read from their own manifests beside the copy;
    // each is read once and remembered.
    if (!m_activityIdentities)
        m_activityIdentities = std::make_shared<ActivityIdentities>();
    QList<ActivityIdentities::HeldPackage> unread;
    for (const VeskItem& held : m_host.items()) {
        if (held.kind == VeskKind::Activity && held.filePath && !m_activityIdentities->identityOf(held.id))
            unread.append({held.id, *held.filePath});
    }
    return deliverResultAsFuture(this,
        QtConcurrent::run(workPool(),
            handedOff([package, items = m_host.managedItemsDirectory(), id, unread, identities = m_activityIdentities] {
                identities->learn(unread);
                return prepareActivityPackage(package, items, id);
            })),
        [this, id, name = QFileInfo(package).fileName()](const PreparedPackage& prepared) -> QFuture<bool> {
            m_packageImportIDs.remove(id);
            if (prepared.missing)
                return packageGone(prepared.source);
            if (prepared.copyFailure)
                sayCopyFailed(prepared.source, *prepared.copyFailure);
            if (!prepared.managedPath)
                return QtFuture::makeReadyFuture(false);
            VeskItem item = activityItem(prepared.activity, name, id, *prepared.managedPath, m_host.now());
            const QString identity = prepared.activity && prepared.activity->activityID
                ? prepared.activity->activityID->trimmed()
                : QString();
            if (const std::optional<VeskItem> held = heldActivity(m_host.items(), identity, *m_activityIdentities))
                return keepHeldPackage(*held, item, prepared.source);
            if (!m_host.commitNewItem(item, false) && !m_host.currentItem(item.id)) {
                m_host.removeManagedFile(item); // refused
                return QtFuture::makeReadyFuture(false);
            }
            m_activityIdentities->remember(item.id, identity);
            m_host.announceWhenRowWritten(item.id, RowWait::FirstWrite,
                                          VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured,
                                                           QStringLiteral("Activity received"), item.title, item.id});
            return whenKept(item.id);
        });
}

bool FileIntake::changedSinceHandedOver(const QString& package, const QByteArray& stamp) const
{
    const auto entry = m_inboxPathsInFlight.constFind(QFile::encodeName(QDir::cleanPath(package)));
    return entry != m_inboxPathsInFlight.cend() && *entry != stamp;
}

QFuture<bool> FileIntake::packageGone(const QString& package)
{
    // An inbox entry taken away after its watcher handed it over failed at nothing; anything else
    // is said as a plain file that is gone.
    if (!m_inboxPathsInFlight.contains(QFile::encodeName(QDir::cleanPath(package))))
        sayNotImported(package, quotedItemTitle(QFileInfo(package).fileName())
                                    + QStringLiteral(" was not imported: it is no longer there."));
    return QtFuture::makeReadyFuture(false);
}

void FileIntake::sayCopyFailed(const QString& package, const QString& reason)
{
    // As a plain file that could not be copied is said.
    sayNotImported(package, quotedItemTitle(QFileInfo(package).fileName()) + QStringLiteral(" could not be imported: ")
                                + reason + QLatin1Char('.'));
}

QFuture<bool> FileIntake::keepHeldPackage(const VeskItem& held, const VeskItem& copy, const QString& source)
{
    // The copy just made is not needed: the library holds this package already.
    m_host.removeManagedFile(copy);
    // A package an inbox delivers again because it could not be removed after its import brings
    // nothing new, and takes nobody's selection.
    if (!isUnremovedInboxEntry(source))
        m_host.selectKept(held.id, false);
    return whenKept(held.id);
}

void FileIntake::rerouteStoredPackages()
{
    // Whether each managed copy is a package is a look at the disk per item, and picking the file
    // items is a walk over the whole library: both done on a worker.
    deliverResult(this, m_host.libraryTasksWorker().run([walk = ItemsWalk(m_host.itemsReading())]() {
        QList<PackageReroute> found;
        for (const HeldFile& file : heldFiles(walk).value_or(QList<HeldFile>())) {
            if (file.kind != VeskKind::File)
                continue;
            const QUuid id = file.id;
            const QString& copy = file.path;
            const QFileInfo info(copy);
            if (!info.exists())
                continue;
            if (info.isDir() && hasNotePackageExtension(copy)) {
                const std::optional<MobileNoteManifest> manifest = validNoteManifest(copy);
                if (manifest && !noteAttachmentsRefusal(copy, manifest->attachments))
                    found.append({id, copy, manifest, std::nullopt});
            } else if (isActivityPackage(copy, info.isDir())) {
                found.append({id, copy, std::nullopt, readActivityManifest(copy)});
            }
        }
        return found;
    }), [this](const QList<PackageReroute>& found) {
        for (const PackageReroute& reroute : found) {
            const std::optional<VeskItem> current = m_host.currentItem(reroute.id);
            // Changed meanwhile: left as the user has it now.
            if (!current || current->kind != VeskKind::File || current->filePath != reroute.path)
                continue;
            const VeskItem& item = *current;
            const VeskItem rerouted = reroute.note
                ? noteItem(*reroute.note, item.id, reroute.path, item.createdAt)
                : activityItem(reroute.activity, QFileInfo(reroute.path).fileName(), item.id, reroute.path,
                               item.createdAt);
            // Group, source and the user's own note stay as they were.
            VeskItem updated = item;
            updated.kind = rerouted.kind;
            updated.title = rerouted.title;
            updated.text = rerouted.text;
            updated.searchableText = rerouted.searchableText;
            if (!rerouted.note.isEmpty())
                updated.note = item.note.isEmpty() ? rerouted.note : item.note + QLatin1Char('\n') + rerouted.note;
            // A row that is not written is marked on its card, said and retried by the store.
            (void)m_host.updateItemFromWork(updated);
        }
        emit storedPackagesRerouted();
    });
}

} // namespace vesk
