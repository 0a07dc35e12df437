// The local Inbox and the synced phone inbox: what their watchers deliver is imported, and each
// entry leaves its inbox only once its item is kept.
#include "store/FileIntake.h"

#include "intake/CloudInboxWatcher.h"
#include "intake/InboxEntryCheck.h"
#include "intake/InboxWatcher.h"
#include "intake/MobilePackages.h"
#include "platform/FutureDelivery.h"
#include "platform/AppPaths.h"
#include "platform/Log.h"
#include "store/FileIntakeHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace vesk {

namespace {

// Removes a delivered entry (a package as a whole folder); the error text when it could not.
std::optional<QString> removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        if (QDir(path).removeRecursively())
            return std::nullopt;
        return QStringLiteral("could not remove the folder");
    }
    QFile file(path);
    if (file.remove())
        return std::nullopt;
    return file.errorString();
}

} // namespace

void FileIntake::startInboxWatchers()
{
    rerouteStoredPackages();
    if (!m_host.watchesInboxes())
        return;
    const QPointer<FileIntake> self(this);
    m_inboxWatcher = new InboxWatcher(
        m_host.dataDirectory() + QStringLiteral("/Inbox"),
        [self](const QStringList& paths) {
            if (self)
                self->importInboxFiles(paths);
        },
        this);
    m_cloudInboxWatcher = new CloudInboxWatcher(
        AppPaths::cloudDirectory(),
        [self](const QStringList& paths) {
            if (self)
                self->importCloudInboxPackages(paths);
        },
        this);
    // An entry that can never be imported as it stands is said once; it stays in the synced
    // folder, where the user can mend or remove it.
    m_cloudInboxWatcher->setRefusalHandler([self](const QString& path, const QString& reason) {
        if (self)
            self->reportRefusedEntry(path, reason, {});
    });
}

void FileIntake::reportRefusedEntry(const QString& path, const QString& reason, const QByteArray& stamp)
{
    sayNotImported(path, QFileInfo(path).fileName() + QStringLiteral(" cannot be imported: ") + reason + QLatin1Char('.'));
    if (stamp.isEmpty())
        return;
    // An inbox offers it again at every scan, which would say it again each time.
    m_refusedEntries.removeIf([](const auto& entry) { return !QFileInfo::exists(entry.key()); });
    m_refusedEntries.insert(path, stamp);
}

void FileIntake::importInboxFiles(const QStringList& paths)
{
    for (const QString& path : paths)
        importInboxEntry(path, false);
}

void FileIntake::importCloudInboxPackages(const QStringList& paths)
{
    for (const QString& path : packageRootPaths(paths))
        importInboxEntry(path, true);
}

void FileIntake::importInboxEntry(const QString& delivered, bool fromCloud)
{
    const QString path = QDir::cleanPath(delivered);
    // A later scan offers an entry again while its import still runs.
    if (m_inboxPathsInFlight.contains(path) || !QFileInfo::exists(path))
        return;
    // Refused for what it holds and said so: it waits in its inbox until something in it changes.
    if (const auto refused = m_refusedEntries.constFind(path); refused != m_refusedEntries.cend()) {
        if (*refused == entryTreeStamp(path))
            return;
        m_refusedEntries.erase(refused);
    }
    // Its size and time (of every file, for a package) before the copy: a writer that went on
    // meanwhile made the copy a part of what the entry now holds.
    const QByteArray before = entryTreeStamp(path);
    m_inboxPathsInFlight.insert(path, before);
    const auto changeCount = [this, fromCloud](int delta) {
        if (fromCloud)
            m_host.changeCloudImportCount(delta);
        else
            m_host.changeInboxImportCount(delta);
    };
    changeCount(1);
    const QUuid newItemID = QUuid::createUuid();
    deliverResult(this, importNativeFileAs(QFile::encodeName(QDir::cleanPath(path)), newItemID),
                  [this, path, fromCloud, before, newItemID, changeCount](bool kept) {
        const QString inboxName = fromCloud ? QStringLiteral("Vesk cloud Inbox") : QStringLiteral("Vesk Inbox");
        const QString name = QFileInfo(path).fileName();
        // An entry taken away meanwhile leaves the item as the only copy of what was copied.
        const bool present = QFileInfo::exists(path);
        if (present && entryTreeStamp(path) != before) {
            // The entry stays for a later delivery, which makes the item of it whole.
            veskLog(inboxName + QStringLiteral(" import error for ") + name
                    + QStringLiteral(": it changed while it was copied"));
            (void)m_host.withdrawNewItem(newItemID);
            if (!fromCloud && m_inboxWatcher)
                m_inboxWatcher->scanSoon();
        } else if (kept) {
            // A later entry of this name that fails is news.
            m_saidFailures.remove(path);
            if (const std::optional<QString> error = present ? removeEntry(path) : std::nullopt)
                veskLog(inboxName + QStringLiteral(" cleanup error for ") + name + QStringLiteral(": ") + *error);
        }
        m_inboxPathsInFlight.remove(path);
        changeCount(-1);
    });
}

} // namespace vesk
