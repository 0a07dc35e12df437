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
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/WorkPool.h"
#include "store/FileIntakeHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

bool exists(const QByteArray& nativePath)
{
    struct stat info {};
    return ::lstat(nativePath.constData(), &info) == 0;
}

// Removes a delivered entry (a package as a whole folder); the error text when it could not.
std::optional<QString> removeEntry(const QByteArray& nativePath)
{
    const QString path = QFile::decodeName(nativePath);
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        if (QDir(path).removeRecursively())
            return std::nullopt;
        return QStringLiteral("could not remove the folder");
    }
    // By its bytes: a name that is not UTF-8 does not lead back to the file as a text.
    if (::unlink(nativePath.constData()) == 0)
        return std::nullopt;
    return QString::fromLocal8Bit(std::strerror(errno));
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
        [self](const QList<QByteArray>& paths) {
            if (self)
                self->importInboxNativeFiles(paths);
        },
        this);
    // The files' stamps come read on the watcher's thread: the window's waits for no disk.
    m_inboxWatcher->setStampedHandler([self](const QList<QByteArray>& paths, const QList<QByteArray>& stamps) {
        if (self)
            self->importInboxNativeFiles(paths, stamps);
    });
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
    m_refusedEntries.removeIf([](const auto& entry) { return !exists(entry.key()); });
    m_refusedEntries.insert(QFile::encodeName(QDir::cleanPath(path)), stamp);
}

void FileIntake::importInboxFiles(const QStringList& paths)
{
    QList<QByteArray> nativePaths;
    for (const QString& path : paths)
        nativePaths.append(QFile::encodeName(QDir::cleanPath(path)));
    importInboxNativeFiles(nativePaths);
}

void FileIntake::importInboxNativeFiles(const QList<QByteArray>& nativePaths)
{
    for (const QByteArray& path : nativePaths)
        importInboxEntry(path, false);
}

void FileIntake::importInboxNativeFiles(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps)
{
    for (qsizetype i = 0; i < nativePaths.size(); ++i)
        importInboxEntry(nativePaths.at(i), false, i < stamps.size() ? std::optional(stamps.at(i)) : std::nullopt);
}

void FileIntake::importCloudInboxPackages(const QStringList& paths)
{
    for (const QString& path : packageRootPaths(paths))
        importInboxEntry(QFile::encodeName(QDir::cleanPath(path)), true);
}

void FileIntake::importInboxEntry(const QByteArray& path, bool fromCloud, const std::optional<QByteArray>& stamp)
{
    // A later scan offers an entry again while its import still runs.
    if (m_inboxPathsInFlight.contains(path) || (!stamp && !exists(path)))
        return;
    // Its size and time (of every file, for a package) before the copy: a writer that went on
    // meanwhile made the copy a part of what the entry now holds.
    const QByteArray before = stamp ? *stamp : entryTreeStamp(path);
    // Refused for what it holds and said so: it waits in its inbox until something in it changes.
    if (const auto refused = m_refusedEntries.constFind(path); refused != m_refusedEntries.cend()) {
        if (*refused == before)
            return;
        m_refusedEntries.erase(refused);
    }
    importInboxEntryAsItWas(path, fromCloud, before);
}

void FileIntake::changeInboxImportCount(bool fromCloud, int delta)
{
    if (fromCloud)
        m_host.changeCloudImportCount(delta);
    else
        m_host.changeInboxImportCount(delta);
}

namespace {

// What became of an inbox entry after its import: gone, changed since the copy began, or as it
// was, then removed when its item is kept (with the error when it could not be).
struct EntryAfterImport {
    bool present = false;
    bool changed = false;
    std::optional<QString> removeError;
};

EntryAfterImport settleEntryAfterImport(const QByteArray& path, const QByteArray& before, bool kept)
{
    EntryAfterImport after;
    after.present = exists(path);
    // Removed only while it still holds what was copied: a writer that went on meanwhile made the
    // copy a part of what it now holds.
    after.changed = after.present && entryTreeStamp(path) != before;
    if (kept && after.present && !after.changed)
        after.removeError = removeEntry(path);
    return after;
}

} // namespace

void FileIntake::importInboxEntryAsItWas(const QByteArray& path, bool fromCloud, const QByteArray& before)
{
    m_inboxPathsInFlight.insert(path, before);
    const auto changeCount = [this, fromCloud](int delta) { changeInboxImportCount(fromCloud, delta); };
    changeCount(1);
    const QUuid newItemID = QUuid::createUuid();
    const auto finish = [this, path, fromCloud, newItemID, changeCount](bool kept, const EntryAfterImport& after) {
        const QString inboxName = fromCloud ? QStringLiteral("Vesk cloud Inbox") : QStringLiteral("Vesk Inbox");
        const QString name = displayFileName(path.mid(path.lastIndexOf('/') + 1));
        // An entry taken away meanwhile leaves the item as the only copy of what was copied.
        if (after.changed) {
            // The entry stays for a later delivery, which makes the item of it whole.
            veskLog(inboxName + QStringLiteral(" import error for ") + name
                    + QStringLiteral(": it changed while it was copied"));
            (void)m_host.withdrawNewItem(newItemID);
            if (!fromCloud && m_inboxWatcher)
                m_inboxWatcher->scanSoon();
        } else if (!kept) {
            // Offered again only when it or the reason may have changed, or after a wait that
            // grows: every look would otherwise try it again, and a failed copy can be costly.
            if (after.present && !fromCloud && m_inboxWatcher)
                m_inboxWatcher->noteNotTaken(path);
        } else {
            // A later entry of this name that fails is news.
            m_saidFailures.remove(path);
            if (after.removeError) {
                veskLog(inboxName + QStringLiteral(" cleanup error for ") + name + QStringLiteral(": ") + *after.removeError);
                // Kept but still there: offered again at every look it would be "Already in
                // Vesk" each time.
                if (!fromCloud && m_inboxWatcher)
                    m_inboxWatcher->noteNotTaken(path);
            }
        }
        m_inboxPathsInFlight.remove(path);
        changeCount(-1);
    };
    deliverResult(this, importNativeFileAs(path, newItemID), [this, path, fromCloud, before, finish](bool kept) {
        if (fromCloud) {
            finish(kept, settleEntryAfterImport(path, before, kept));
            return;
        }
        deliverResult(this, QtConcurrent::run(workPool(), handedOff([path, before, kept] {
            return settleEntryAfterImport(path, before, kept);
        })), [finish, kept](const EntryAfterImport& after) { finish(kept, after); });
    });
}

} // namespace vesk
