#include "intake/CloudInboxWatcher.h"

#include "intake/MobilePackages.h"
#include "platform/Log.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace vesk {

CloudInboxWatcher::CloudInboxWatcher(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_timing(timing)
{
    // Configured from the event loop, so no delivery happens inside the constructor.
    QTimer::singleShot(0, this, [this, syncedFolder] { configure(syncedFolder); });
}

void CloudInboxWatcher::configure(const QString& syncedFolder)
{
    if (syncedFolder.isEmpty() || !QFileInfo(syncedFolder).isDir()) {
        veskLog(QStringLiteral("Vesk iCloud container unavailable."));
        return;
    }
    const QString inbox = QDir::cleanPath(syncedFolder + QStringLiteral("/Documents/VeskInbox"));
    if (!QDir().mkpath(inbox))
        veskLog(QStringLiteral("Vesk cloud Inbox create error: could not create ") + inbox);
    m_inboxPath = inbox;

    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(inbox);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &CloudInboxWatcher::scan);
    m_poll = new QTimer(this);
    m_poll->setInterval(m_timing.pollMs);
    connect(m_poll, &QTimer::timeout, this, &CloudInboxWatcher::scan);
    m_poll->start();
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &CloudInboxWatcher::scan);
    scan();
}

void CloudInboxWatcher::scan()
{
    if (m_inboxPath.isEmpty())
        return;
    // The poll, the retry and folder changes can fall together; two scans a moment apart would
    // call a file that is still arriving settled, so scans keep at least the retry time apart.
    if (m_lastScan.isValid() && m_lastScan.elapsed() < m_timing.retryMs) {
        m_retry->start(int(m_timing.retryMs - m_lastScan.elapsed()));
        return;
    }
    m_lastScan.start();
    m_stability.beginScan();
    const QStringList names = QDir(m_inboxPath).entryList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList ready;
    bool pending = false;
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QString path = m_inboxPath + QLatin1Char('/') + name;
        const QFileInfo info(path);
        bool complete = false;
        if (info.isDir() && !info.isSymLink() && hasActivityPackageExtension(path))
            complete = isActivityPackageReady(path);
        else if (info.isDir() && !info.isSymLink() && hasNotePackageExtension(path))
            complete = isNotePackageReady(path);
        else if (!info.isDir())
            complete = m_stability.isStable(path);
        else
            continue; // an ordinary folder is no entry of this inbox
        if (complete)
            ready.append(path);
        else
            pending = true;
    }
    if (!ready.isEmpty() && m_handler)
        m_handler(ready);
    if (pending)
        m_retry->start(m_timing.retryMs);
}

bool CloudInboxWatcher::isNotePackageReady(const QString& package)
{
    const QString manifestPath = package + QStringLiteral("/note.json");
    // Both are stamped every scan, so a package is never more than one scan behind its files.
    const bool manifestStable = m_stability.isStable(manifestPath);
    // An empty note.txt is a note of photos only: being stable is all that is asked of it.
    const bool textStable = m_stability.isStable(package + QStringLiteral("/note.txt"));
    if (!manifestStable || !textStable)
        return false;
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<QStringList> attachments = json ? decodeNoteAttachments(*json) : std::nullopt;
    if (!attachments)
        return false;
    for (const QString& attachment : *attachments) {
        if (!attachment.startsWith(QLatin1String("media/"))
            || attachment.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("..")))
            return false;
        const PackagePath resolved = resolvePackagePath(package, attachment);
        if (resolved.where != PackagePath::Where::Inside || !m_stability.isStable(resolved.path))
            return false;
    }
    return true;
}

bool CloudInboxWatcher::isActivityPackageReady(const QString& package)
{
    const QString manifestPath = package + QStringLiteral("/activity.json");
    if (!m_stability.isStable(manifestPath))
        return false;
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<MobileActivityManifest> manifest = json ? decodeActivityManifest(*json) : std::nullopt;
    if (!manifest)
        return false;
    bool ready = true;
    for (const QString& relative : manifest->eventPaths) {
        if (relative.isEmpty())
            continue;
        const PackagePath resolved = resolvePackagePath(package, relative);
        // A path leaving the package names nothing this package owns: it neither holds the
        // package back nor gets read.
        if (resolved.where == PackagePath::Where::Outside)
            continue;
        if (resolved.where == PackagePath::Where::Missing || !m_stability.isStable(resolved.path))
            ready = false;
    }
    int files = 0;
    QDirIterator it(package, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || info.isDir())
            continue;
        ++files;
        if (!m_stability.isStable(path))
            ready = false;
    }
    return ready && files > 0;
}

} // namespace vesk
