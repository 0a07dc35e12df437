// The local Inbox and the synced phone inbox: what their watchers deliver is imported, and each
// entry leaves its inbox only once its item is kept.
#include "store/FileIntake.h"

#include "intake/CloudInboxWatcher.h"
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
            self->m_host.reportFailure(QStringLiteral("Not imported"), QFileInfo(path).fileName()
                                           + QStringLiteral(" cannot be imported: ") + reason + QLatin1Char('.'));
    });
}

void FileIntake::importInboxFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        // A later scan offers a file again while its import still runs.
        if (m_inboxPathsInFlight.contains(path) || !QFileInfo::exists(path))
            continue;
        m_inboxPathsInFlight.insert(path);
        m_host.changeInboxImportCount(1);
        deliverResult(this, importFile(path), [this, path](bool kept) {
            if (kept) {
                if (const std::optional<QString> error = removeEntry(path))
                    veskLog(QStringLiteral("Vesk Inbox cleanup error for ") + QFileInfo(path).fileName()
                            + QStringLiteral(": ") + *error);
            }
            m_inboxPathsInFlight.remove(path);
            m_host.changeInboxImportCount(-1);
        });
    }
}

void FileIntake::importCloudInboxPackages(const QStringList& paths)
{
    for (const QString& path : packageRootPaths(paths)) {
        if (m_inboxPathsInFlight.contains(path) || !QFileInfo::exists(path))
            continue;
        m_inboxPathsInFlight.insert(path);
        m_host.changeCloudImportCount(1);
        deliverResult(this, importFile(path), [this, path](bool kept) {
            if (kept) {
                if (const std::optional<QString> error = removeEntry(path))
                    veskLog(QStringLiteral("Vesk cloud Inbox cleanup error for ") + QFileInfo(path).fileName()
                            + QStringLiteral(": ") + *error);
            }
            m_inboxPathsInFlight.remove(path);
            m_host.changeCloudImportCount(-1);
        });
    }
}

} // namespace vesk
