#include "intake/CloudInboxWatcher.h"

#include "intake/InboxEntryCheck.h"
#include "intake/MobilePackages.h"
#include "platform/FolderWriteEvents.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/OpenFileWriters.h"
#include "platform/WorkPool.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace vesk {

CloudInboxWatcher::CloudInboxWatcher(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_timing(timing)
{
    // A look at every process's open files takes milliseconds, more on a busy machine: not on
    // the thread that scans, which is the window's.
    m_writersLook = [](const QString& inbox) {
        return QtConcurrent::run(workPool(), [inbox] { return filesOpenForWriting(inbox); });
    };
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

    m_events = new FolderWriteEvents(this);
    const bool watching = m_events->watch(inbox);
    connect(m_events, &FolderWriteEvents::changed, this, &CloudInboxWatcher::scan);
    m_writers.emplace(inbox, watching ? m_events : nullptr);
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
    // The entries of the scan before are not handed over yet: this one runs once they are, so
    // that its view of sizes and writers is not older than theirs.
    if (m_looking) {
        m_scanAfterLook = true;
        return;
    }
    // The poll, the retry and folder changes can fall together; two scans a moment apart would
    // call a file that is still arriving settled, so scans keep at least the retry time apart.
    if (m_lastScan.isValid() && m_lastScan.elapsed() < m_timing.retryMs) {
        m_retry->start(int(m_timing.retryMs - m_lastScan.elapsed()));
        return;
    }
    m_lastScan.start();
    m_stability.beginScan();
    m_writers->beginScan();
    const QStringList names = QDir(m_inboxPath).entryList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QList<Candidate> candidates;
    bool pending = false;
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QString path = m_inboxPath + QLatin1Char('/') + name;
        const QFileInfo info(path);
        const bool package = info.isDir() && !info.isSymLink()
            && (hasActivityPackageExtension(path) || hasNotePackageExtension(path));
        if (info.isDir() && !info.isSymLink() && !package)
            continue; // an ordinary folder is no entry of this inbox
        // Said once already: left alone until something in it changes.
        if (const auto refused = m_refused.constFind(path); refused != m_refused.cend()) {
            if (*refused == entryTreeStamp(path))
                continue;
            m_refused.remove(path);
        }
        if (package)
            watchPackage(path);
        Readiness readiness = !package                ? plainFileReadiness(path)
            : hasActivityPackageExtension(path) ? activityPackageReadiness(path)
                                                : notePackageReadiness(path);
        // Sizes and times say nothing of a writer that pauses; a file of the entry still open
        // for writing (one the manifest does not name, too) holds the whole entry back. Its
        // close wakes a scan when the folder's events come; the poll looks again in any case.
        if (readiness.state == Readiness::State::Ready && m_writers->isWrittenByEvents(path))
            readiness.state = heldEntriesWaitForEvents() ? Readiness::State::Idle : Readiness::State::Pending;
        switch (readiness.state) {
        case Readiness::State::Ready:
            candidates.append({path, entryTreeStamp(path)});
            break;
        case Readiness::State::Pending:
            pending = true;
            break;
        case Readiness::State::Idle:
            break;
        case Readiness::State::Refused:
            veskLog(QStringLiteral("Vesk cloud Inbox refused ") + name + QStringLiteral(": ") + readiness.reason);
            m_refused.insert(path, entryTreeStamp(path));
            if (m_refusalHandler)
                m_refusalHandler(path, readiness.reason);
            break;
        }
    }
    // Entries gone from the folder are forgotten, so one coming back is judged afresh.
    for (auto it = m_refused.begin(); it != m_refused.end();) {
        if (QFileInfo(it.key()).exists() || QFileInfo(it.key()).isSymLink())
            ++it;
        else
            it = m_refused.erase(it);
    }
    if (pending)
        m_retry->start(m_timing.retryMs);
    if (candidates.isEmpty())
        return;
    // Whether a process other than the one whose writes the folder events saw still holds a file
    // of a ready entry open is asked of the processes themselves.
    m_looking = true;
    deliverResult(this, m_writersLook(m_inboxPath), [this, candidates](const QSet<QString>& openForWriting) {
        finishScan(candidates, openForWriting);
    });
}

void CloudInboxWatcher::finishScan(const QList<Candidate>& candidates, const QSet<QString>& openForWriting)
{
    m_looking = false;
    // The folder events that came while the processes were looked at are left to announce
    // themselves: a writer's close among them then wakes the next scan. A write among them has
    // changed the entry's stamp.
    QStringList ready;
    bool pending = false;
    for (const Candidate& candidate : candidates) {
        const QFileInfo info(candidate.path);
        if (!info.exists() && !info.isSymLink())
            continue; // taken away meanwhile
        if (entryTreeStamp(candidate.path) != candidate.stamp) {
            // Changed since it was judged settled: the next scans judge it afresh.
            pending = true;
            continue;
        }
        if (m_writers->isWrittenByEvents(candidate.path) || m_writers->isAmong(openForWriting, candidate.path)) {
            if (!heldEntriesWaitForEvents())
                pending = true;
            continue;
        }
        ready.append(candidate.path);
    }
    if (!ready.isEmpty() && m_handler)
        m_handler(ready);
    if (pending)
        m_retry->start(m_timing.retryMs);
    if (std::exchange(m_scanAfterLook, false))
        scan();
}

bool CloudInboxWatcher::heldEntriesWaitForEvents() const
{
    return m_events->isWatching(m_inboxPath);
}

namespace {

using Readiness = CloudInboxWatcher::Readiness;

Readiness refused(const QString& reason) { return {Readiness::State::Refused, reason}; }
Readiness pending() { return {Readiness::State::Pending, {}}; }

// A manifest that can never be read: a pipe or device in its place, or over the size limit.
std::optional<QString> unreadableManifest(const QString& path)
{
    if (const std::optional<QString> special = specialFileReason(path))
        return special;
    if (QFileInfo(path).size() > kSmallFileLimit)
        return QFileInfo(path).fileName() + QStringLiteral(" is larger than %1 MB").arg(kSmallFileLimit / (1024 * 1024));
    return std::nullopt;
}

} // namespace

void CloudInboxWatcher::watchPackage(const QString& package)
{
    if (!m_events->watch(package))
        return;
    QDirIterator it(package, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString folder = it.next();
        if (!it.fileInfo().isSymLink())
            m_events->watch(folder);
    }
}

CloudInboxWatcher::Readiness CloudInboxWatcher::plainFileReadiness(const QString& path)
{
    if (specialFileReason(path) || QFileInfo(path).isSymLink())
        return refused(QStringLiteral("it is not a regular file"));
    if (!m_stability.isStable(path))
        return pending();
    // An empty file has not arrived yet, however long it stays so; the poll looks again.
    if (QFileInfo(path).size() == 0)
        return {Readiness::State::Idle, {}};
    return {Readiness::State::Ready, {}};
}

CloudInboxWatcher::Readiness CloudInboxWatcher::notePackageReadiness(const QString& package)
{
    const QString manifestPath = package + QStringLiteral("/note.json");
    const QString textPath = package + QStringLiteral("/note.txt");
    if (const std::optional<QString> why = unreadableManifest(manifestPath))
        return refused(*why);
    if (const std::optional<QString> why = specialFileReason(textPath))
        return refused(*why);
    // Both are stamped every scan, so a package is never more than one scan behind its files.
    const bool manifestStable = m_stability.isStable(manifestPath);
    // An empty note.txt is a note of photos only: being stable is all that is asked of it.
    const bool textStable = m_stability.isStable(textPath);
    if (!manifestStable || !textStable)
        return pending();
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<QStringList> attachments = json ? decodeNoteAttachments(*json) : std::nullopt;
    if (!attachments)
        return pending();
    bool ready = true;
    for (const QString& attachment : *attachments) {
        if (!attachment.startsWith(QLatin1String("media/"))
            || attachment.split(QLatin1Char('/'), Qt::SkipEmptyParts).contains(QLatin1String("..")))
            return refused(QStringLiteral("the photo \u201C") + attachment + QStringLiteral("\u201D lies outside its media folder"));
        const PackagePath resolved = resolvePackagePath(package, attachment);
        if (resolved.where == PackagePath::Where::Outside)
            return refused(QStringLiteral("the photo \u201C") + attachment + QStringLiteral("\u201D leads outside the package"));
        if (resolved.where == PackagePath::Where::Inside) {
            if (const std::optional<QString> why = specialFileReason(resolved.path))
                return refused(*why);
        }
        if (resolved.where != PackagePath::Where::Inside || !m_stability.isStable(resolved.path))
            ready = false;
    }
    return ready ? Readiness{Readiness::State::Ready, {}} : pending();
}

CloudInboxWatcher::Readiness CloudInboxWatcher::activityPackageReadiness(const QString& package)
{
    const QString manifestPath = package + QStringLiteral("/activity.json");
    if (const std::optional<QString> why = unreadableManifest(manifestPath))
        return refused(*why);
    if (!m_stability.isStable(manifestPath))
        return pending();
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<MobileActivityManifest> manifest = json ? decodeActivityManifest(*json) : std::nullopt;
    if (!manifest)
        return pending();
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
        // Every file of the package is waited for, so one that can never settle holds it for good.
        if (const std::optional<QString> why = specialFileReason(path))
            return refused(*why);
        ++files;
        if (!m_stability.isStable(path))
            ready = false;
    }
    return ready && files > 0 ? Readiness{Readiness::State::Ready, {}} : pending();
}

} // namespace vesk
