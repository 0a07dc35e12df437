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

void FileIntake::importCloudInboxPackages(const QStringList& paths)
{
    for (const QString& path : packageRootPaths(paths))
        importInboxEntry(QFile::encodeName(QDir::cleanPath(path)), true);
}

void FileIntake::importInboxEntry(const QByteArray& path, bool fromCloud)
{
    // A later scan offers an entry again while its import still runs.
    if (m_inboxPathsInFlight.contains(path) || !exists(path))
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
    deliverResult(this, importNativeFileAs(path, newItemID),
                  [this, path, fromCloud, before, newItemID, changeCount](bool kept) {
        const QString inboxName = fromCloud ? QStringLiteral("Vesk cloud Inbox") : QStringLiteral("Vesk Inbox");
        const QString name = displayFileName(path.mid(path.lastIndexOf('/') + 1));
        // An entry taken away meanwhile leaves the item as the only copy of what was copied.
        const bool present = exists(path);
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
            if (const std::optional<QString> error = present ? removeEntry(path) : std::nullopt) {
                veskLog(inboxName + QStringLiteral(" cleanup error for ") + name + QStringLiteral(": ") + *error);
                if (fromCloud)
                    keepUnremovedEntry(path, *error);
            }
        } else if (fromCloud && present && m_cloudInboxWatcher) {
            // Copied again at every poll, a package that does not fit would keep the disk busy
            // for nothing: it waits longer after each failure, unless it changes or room is made.
            m_cloudInboxWatcher->retryLater(QFile::decodeName(path));
        }
        m_inboxPathsInFlight.remove(path);
        changeCount(-1);
    });
}

void FileIntake::keepUnremovedEntry(const QByteArray& path, const QString& error)
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
    m_refusedEntries.insert(path, entryTreeStamp(path));
    if (m_cloudInboxWatcher)
        m_cloudInboxWatcher->leaveAloneUntilChanged(shown);
}

void FileIntake::retryFailedInboxEntries()
{
    if (m_cloudInboxWatcher)
        m_cloudInboxWatcher->retryFailedNow();
}

} // namespace vesk
