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
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

bool exists(const QByteArray& nativePath)
{
    struct stat info {};
    return ::lstat(nativePath.constData(), &info) == 0;
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Why a folder of a package cannot have its entries removed: it is not this user's to change, or
// it is marked unchangeable. Looked at for every folder before anything goes, so that a package
// is removed whole or not at all.
std::optional<QString> folderKeepsItsEntries(const QByteArray& folder)
{
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return errorText(errno);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errorText(errno);
    int flags = 0;
    const bool unchangeable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    ::close(fd);
    if (unchangeable)
        return errorText(EPERM);
    return std::nullopt;
}

std::optional<QString> firstFolderKeepingEntries(const QByteArray& folder)
{
    if (const std::optional<QString> why = folderKeepsItsEntries(folder))
        return why;
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return errorText(errno);
    std::optional<QString> found;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat info {};
        if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            found = firstFolderKeepingEntries(path);
        if (found)
            break;
    }
    ::closedir(listing);
    return found;
}

std::optional<QString> removeTree(const QByteArray& path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional<QString>(errorText(errno));
    if (!S_ISDIR(info.st_mode))
        return ::unlink(path.constData()) == 0 ? std::nullopt : std::optional<QString>(errorText(errno));
    if (DIR* listing = ::opendir(path.constData())) {
        std::optional<QString> failed;
        while (const dirent* entry = ::readdir(listing)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != ".." && !failed)
                failed = removeTree(path + '/' + name);
        }
        ::closedir(listing);
        if (failed)
            return failed;
    }
    return ::rmdir(path.constData()) == 0 ? std::nullopt : std::optional<QString>(errorText(errno));
}

// Removes a delivered entry (a package as a whole folder); the error text when it could not.
std::optional<QString> removeEntry(const QByteArray& nativePath)
{
    struct stat info {};
    if (::lstat(nativePath.constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
        // A package some of whose folders cannot be emptied would be left half removed, its
        // manifest gone and its photos still there: such a package is left as it is.
        if (const std::optional<QString> why = firstFolderKeepingEntries(nativePath))
            return why;
        return removeTree(nativePath);
    }
    // By its bytes: a name that is not UTF-8 does not lead back to the file as a text.
    if (::unlink(nativePath.constData()) == 0)
        return std::nullopt;
    return errorText(errno);
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
    // The same for the synced inbox's entries: a package's walk is not the window's to wait for.
    m_cloudInboxWatcher->setStampedHandler(
        [self](const QStringList& paths, const QList<QByteArray>& stamps, const QList<bool>& folders) {
        if (self)
            self->importCloudInboxPackages(paths, stamps, folders);
    });
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
        // The watcher hands over regular files only.
        importInboxEntry(nativePaths.at(i), false, i < stamps.size() ? std::optional(stamps.at(i)) : std::nullopt,
                         i < stamps.size() ? std::optional(false) : std::nullopt);
}

void FileIntake::importCloudInboxPackages(const QStringList& paths)
{
    for (const QString& path : packageRootPaths(paths))
        importInboxEntry(QFile::encodeName(QDir::cleanPath(path)), true);
}

void FileIntake::importCloudInboxPackages(const QStringList& paths, const QList<QByteArray>& stamps,
                                          const QList<bool>& folders)
{
    QSet<QString> seen;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString path = QDir::cleanPath(paths.at(i));
        const QString root = packageRootPaths({path}).value(0, path);
        if (seen.contains(root))
            continue;
        seen.insert(root);
        // A stamp stands for the entry it was read of; a file inside a package does not stand
        // for the whole package.
        const bool ownStamp = root == path && i < stamps.size();
        importInboxEntry(QFile::encodeName(root), true, ownStamp ? std::optional(stamps.at(i)) : std::nullopt,
                         ownStamp && i < folders.size() ? std::optional(folders.at(i)) : std::nullopt);
    }
}

void FileIntake::importInboxEntry(const QByteArray& path, bool fromCloud, const std::optional<QByteArray>& stamp,
                                  std::optional<bool> isFolder)
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
    importInboxEntryAsItWas(path, fromCloud, before, stamp ? isFolder : std::nullopt);
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

void FileIntake::importInboxEntryAsItWas(const QByteArray& path, bool fromCloud, const QByteArray& before,
                                         std::optional<bool> isFolder)
{
    m_inboxPathsInFlight.insert(path, before);
    const auto changeCount = [this, fromCloud](int delta) { changeInboxImportCount(fromCloud, delta); };
    changeCount(1);
    const QUuid newItemID = QUuid::createUuid();
    const auto finish = [this, path, fromCloud, before, newItemID, changeCount](bool kept, const EntryAfterImport& after) {
        const QString inboxName = fromCloud ? QStringLiteral("Vesk cloud Inbox") : QStringLiteral("Vesk Inbox");
        const QString name = displayFileName(path.mid(path.lastIndexOf('/') + 1));
        if (!after.present)
            m_unremovedInboxEntries.remove(path);
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
            else if (after.present && fromCloud && m_cloudInboxWatcher)
                m_cloudInboxWatcher->retryLater(QFile::decodeName(path));
        } else {
            // A later entry of this name that fails is news.
            m_saidFailures.remove(path);
            if (after.removeError)
                m_unremovedInboxEntries.insert(path);
            else
                m_unremovedInboxEntries.remove(path);
            if (after.removeError) {
                veskLog(inboxName + QStringLiteral(" cleanup error for ") + name + QStringLiteral(": ") + *after.removeError);
                // Kept but still there: offered again at every look it would be "Already in
                // Vesk" each time.
                if (fromCloud)
                    keepUnremovedEntry(path, *after.removeError, before);
                else if (m_inboxWatcher)
                    m_inboxWatcher->noteNotTaken(path);
            }
        }
        m_inboxPathsInFlight.remove(path);
        changeCount(-1);
    };
    deliverResult(this, importNativeFileAs(path, newItemID, {}, isFolder), [this, path, before, finish](bool kept) {
        // The look at the entry and its removal (a package is a tree) wait on the disk.
        deliverResult(this, QtConcurrent::run(workPool(), handedOff([path, before, kept] {
            return settleEntryAfterImport(path, before, kept);
        })), [finish, kept](const EntryAfterImport& after) { finish(kept, after); });
    });
}

void FileIntake::keepUnremovedEntry(const QByteArray& path, const QString& error, const QByteArray& stamp)
{
    // Its item is kept; what stays is the user's to remove. Offered again at every scan it would
    // be said again each time, and the held package found again would take the selection: it is
    // left alone until something in it changes.
    const QString shown = QDir::cleanPath(QFile::decodeName(path));
    m_host.reportFailure(QStringLiteral("Not removed"),
                         displayFileName(path.mid(path.lastIndexOf('/') + 1))
                             + QStringLiteral(" was imported but could not be removed from the synced folder: ") + error
                             + QLatin1Char('.'),
                         shown);
    m_refusedEntries.removeIf([](const auto& entry) { return !exists(entry.key()); });
    m_refusedEntries.insert(path, stamp);
    if (m_cloudInboxWatcher)
        m_cloudInboxWatcher->leaveAloneUntilChanged(shown);
}

void FileIntake::retryFailedInboxEntries()
{
    if (m_cloudInboxWatcher)
        m_cloudInboxWatcher->retryFailedNow();
}

} // namespace vesk
