#include "intake/CloudInboxScanner.h"

#include "intake/FileImportJob.h"
#include "intake/InboxEntryCheck.h"
#include "intake/MobilePackages.h"
#include "platform/FolderWriteEvents.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/OpenFileWriters.h"
#include "platform/WorkPool.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>

namespace vesk {

CloudInboxScanner::CloudInboxScanner(const QString& syncedFolder, Handler handler, Timing timing, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_timing(timing)
{
    // A look at every process's open files takes milliseconds, more on a busy machine: not on
    // the thread that scans, which is the window's.
    m_writersLook = [](const QSet<FileIdentity>& files) {
        return QtConcurrent::run(workPool(), handedOff([files] { return filesOpenForWriting(files); }));
    };
    // Configured from the event loop, so no delivery happens inside the constructor.
    QTimer::singleShot(0, this, [this, syncedFolder] { configure(syncedFolder); });
}

void CloudInboxScanner::configure(const QString& syncedFolder)
{
    if (syncedFolder.isEmpty() || !QFileInfo(syncedFolder).isDir()) {
        veskLog(QStringLiteral("Vesk iCloud container unavailable."));
        return;
    }
    const QString inbox = QDir::cleanPath(syncedFolder + QStringLiteral("/Documents/VeskInbox"));
    if (!QDir().mkpath(inbox))
        veskLog(QStringLiteral("Vesk cloud Inbox create error: could not create ") + inbox);
    m_inboxPath = inbox;

    m_clock.start();
    m_events = new FolderWriteEvents(this);
    // A package's folders are watched from the event that makes them, so that the files its
    // writer makes in them are seen from their start.
    const bool watching = m_events->watch(inbox, [](const QString& folder) {
        return hasActivityPackageExtension(folder) || hasNotePackageExtension(folder);
    });
    connect(m_events, &FolderWriteEvents::changed, this, &CloudInboxScanner::scan);
    m_writers.emplace(watching ? m_events : nullptr);
    m_poll = new QTimer(this);
    m_poll->setInterval(m_timing.pollMs);
    connect(m_poll, &QTimer::timeout, this, &CloudInboxScanner::scan);
    m_poll->start();
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &CloudInboxScanner::scan);
    scan();
}

void CloudInboxScanner::scan()
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
    QList<Candidate> candidates;
    QSet<QByteArray> undecodable;
    bool pending = false;
    qint64 quietWait = -1;
    QSet<QString> listed;
    const QByteArray nativeInbox = QFile::encodeName(m_inboxPath);
    for (const QByteArray& nativeName : listEntryNames()) {
        const QString name = QFile::decodeName(nativeName);
        const QString path = m_inboxPath + QLatin1Char('/') + name;
        struct stat info {};
        if (::lstat((nativeInbox + '/' + nativeName).constData(), &info) != 0)
            continue; // gone meanwhile
        const bool folder = S_ISDIR(info.st_mode);
        const bool package = folder && (hasActivityPackageExtension(path) || hasNotePackageExtension(path));
        if (folder && !package)
            continue; // an ordinary folder is no entry of this inbox
        listed.insert(path);
        if (isUndecodableName(nativeName)) {
            undecodable.insert(nativeName);
            refuseUndecodableName(nativeName);
            continue;
        }
        // Said once already: left alone until something in it changes.
        if (const auto refused = m_refused.constFind(path); refused != m_refused.cend()) {
            if (*refused == entryTreeStamp(path))
                continue;
            m_refused.remove(path);
        }
        // Failed as it stands: offered again when its wait is over.
        if (const auto failed = m_failed.constFind(path); failed != m_failed.cend()) {
            if (failed->stamp != entryTreeStamp(path)) {
                m_failed.remove(path);
            } else if (const qint64 left = failed->dueMs - m_clock.elapsed(); left > 0) {
                quietWait = quietWait < 0 ? left : std::min(quietWait, left);
                continue;
            }
        }
        if (package)
            watchPackage(path);
        Readiness readiness = !package                ? plainFileReadiness(path)
            : hasActivityPackageExtension(path) ? activityPackageReadiness(path)
                                                : notePackageReadiness(path);
        // Sizes and times say nothing of a writer that pauses; a file of the entry still held
        // by a writer (one the manifest does not name, too) holds the whole entry back. Its
        // close wakes a scan when the folder's events come; the poll looks again in any case.
        if (readiness.state == Readiness::State::Ready && m_writers->isWrittenByEvents(path))
            readiness.state = heldEntriesWaitForEvents() ? Readiness::State::Idle : Readiness::State::Pending;
        QByteArray stamp;
        if (readiness.state == Readiness::State::Ready) {
            stamp = entryTreeStamp(path);
            if (const qint64 left = unseenQuietLeft(path, stamp); left > 0) {
                readiness.state = Readiness::State::Idle;
                quietWait = quietWait < 0 ? left : std::min(quietWait, left);
            }
        }
        switch (readiness.state) {
        case Readiness::State::Ready:
            candidates.append({path, stamp, entryFileIdentities(QFile::encodeName(path)), package});
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
    m_refusedNames.removeIf([&](const auto& entry) { return !undecodable.contains(entry.key()); });
    // Entries gone from the folder are forgotten, so one coming back is judged afresh.
    for (auto it = m_refused.begin(); it != m_refused.end();) {
        if (QFileInfo(it.key()).exists() || QFileInfo(it.key()).isSymLink())
            ++it;
        else
            it = m_refused.erase(it);
    }
    m_quiet.removeIf([&](const auto& entry) { return !listed.contains(entry.key()); });
    m_failed.removeIf([&](const auto& entry) { return !listed.contains(entry.key()); });
    if (pending)
        m_retry->start(m_timing.retryMs);
    else if (quietWait >= 0 && (!m_retry->isActive() || m_retry->remainingTime() > quietWait))
        m_retry->start(int(std::max<qint64>(quietWait, m_timing.retryMs)));
    if (candidates.isEmpty())
        return;
    // Whether a process other than the one whose writes the folder events saw still holds a file
    // of a ready entry open is asked of the processes themselves, by the files' identities.
    QSet<FileIdentity> files;
    for (const Candidate& candidate : std::as_const(candidates))
        files.unite(candidate.files);
    m_looking = true;
    deliverResult(this, m_writersLook(files), [this, candidates](const QSet<FileIdentity>& openForWriting) {
        finishScan(candidates, openForWriting);
    });
}

void CloudInboxScanner::finishScan(const QList<Candidate>& candidates, const QSet<FileIdentity>& openForWriting)
{
    m_looking = false;
    // The folder events that came while the processes were looked at are left to announce
    // themselves: a writer's close among them then wakes the next scan. A write among them has
    // changed the entry's stamp.
    QStringList ready;
    QList<QByteArray> stamps;
    QList<bool> folders;
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
        if (m_writers->isWrittenByEvents(candidate.path) || candidate.files.intersects(openForWriting)) {
            if (!heldEntriesWaitForEvents())
                pending = true;
            continue;
        }
        ready.append(candidate.path);
        stamps.append(candidate.stamp);
        folders.append(candidate.folder);
    }
    if (!ready.isEmpty() && m_stampedHandler)
        m_stampedHandler(ready, stamps, folders);
    else if (!ready.isEmpty() && m_handler)
        m_handler(ready);
    if (pending)
        m_retry->start(m_timing.retryMs);
    if (std::exchange(m_scanAfterLook, false))
        scan();
}

bool CloudInboxScanner::heldEntriesWaitForEvents() const
{
    return m_events->isWatching(m_inboxPath);
}

QList<QByteArray> CloudInboxScanner::listEntryNames() const
{
    // As bytes: a name that is not UTF-8 would not lead back to its entry as a text.
    QList<QByteArray> names;
    if (DIR* listing = ::opendir(QFile::encodeName(m_inboxPath).constData())) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] != '.')
                names.append(QByteArray(entry->d_name));
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end(),
              [](const QByteArray& a, const QByteArray& b) { return QFile::decodeName(a) < QFile::decodeName(b); });
    return names;
}

void CloudInboxScanner::refuseUndecodableName(const QByteArray& nativeName)
{
    // The phone companion names everything in UTF-8, and its packages and the importers of its
    // packages go by those names: an entry named otherwise was put here by hand, and is said
    // once, until it changes.
    const QByteArray path = QFile::encodeName(m_inboxPath) + '/' + nativeName;
    const QByteArray stamp = entryTreeStamp(path);
    if (const auto refused = m_refusedNames.constFind(nativeName); refused != m_refusedNames.cend() && *refused == stamp)
        return;
    m_refusedNames.insert(nativeName, stamp);
    const QString shown = displayFileName(nativeName);
    const QString reason = QStringLiteral("its name is not UTF-8 text");
    veskLog(QStringLiteral("Vesk cloud Inbox refused ") + shown + QStringLiteral(": ") + reason);
    if (m_refusalHandler)
        m_refusalHandler(m_inboxPath + QLatin1Char('/') + shown, reason);
}

namespace {

using Readiness = CloudInboxScanner::Readiness;

Readiness refused(const QString& reason) { return {Readiness::State::Refused, reason}; }
Readiness pending() { return {Readiness::State::Pending, {}}; }
Readiness idle() { return {Readiness::State::Idle, {}}; }
Readiness ready() { return {Readiness::State::Ready, {}}; }

// A package is ready once every file it needs has arrived. One still changing is looked at again
// soon; one that held still but is empty (its writer has not written its first byte, or the
// sync has not brought it) waits for its content like an empty file of its own.
struct PackageArrival {
    bool changing = false;
    bool empty = false;
    void add(CloudInboxScanner::Arrival arrival)
    {
        changing = changing || arrival == CloudInboxScanner::Arrival::Changing;
        empty = empty || arrival == CloudInboxScanner::Arrival::Empty;
    }
    Readiness readiness() const { return changing ? pending() : empty ? idle() : ready(); }
};

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

void CloudInboxScanner::watchPackage(const QString& package)
{
    // Once watched, the folders made in it later are watched from the events that make them:
    // its folders are walked only the first time.
    if (m_events->isWatching(QDir::cleanPath(package)))
        return;
    const auto everyFolder = [](const QString&) { return true; };
    if (!m_events->watch(package, everyFolder))
        return;
    QDirIterator it(package, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString folder = it.next();
        if (!it.fileInfo().isSymLink())
            m_events->watch(folder, everyFolder);
    }
}

void CloudInboxScanner::leaveAloneUntilChanged(const QString& path)
{
    m_refused.insert(QDir::cleanPath(path), entryTreeStamp(QDir::cleanPath(path)));
}

void CloudInboxScanner::retryLater(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QByteArray stamp = entryTreeStamp(clean);
    Failed& failed = m_failed[clean];
    failed.failures = failed.stamp == stamp ? failed.failures + 1 : 1;
    failed.stamp = stamp;
    failed.dueMs = (m_clock.isValid() ? m_clock.elapsed() : 0) + m_timing.failedRetry.delayAfter(failed.failures);
}

void CloudInboxScanner::retryFailedNow()
{
    for (Failed& failed : m_failed)
        failed.dueMs = 0;
    if (m_retry && !m_inboxPath.isEmpty())
        m_retry->start(0);
}

bool CloudInboxScanner::sawEveryFileMade(const QString& path) const
{
    if (!QFileInfo(path).isDir())
        return m_events->sawCreation(path);
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (!m_events->sawCreation(it.next()))
            return false;
    }
    return true;
}

qint64 CloudInboxScanner::unseenQuietLeft(const QString& path, const QByteArray& stamp)
{
    if (sawEveryFileMade(path)) {
        m_quiet.remove(path);
        return 0;
    }
    const qint64 now = m_clock.elapsed();
    auto quiet = m_quiet.find(path);
    if (quiet == m_quiet.end() || quiet->stamp != stamp)
        quiet = m_quiet.insert(path, {stamp, now});
    return std::max<qint64>(0, m_timing.unseenQuietMs - (now - quiet->sinceMs));
}

CloudInboxScanner::Readiness CloudInboxScanner::plainFileReadiness(const QString& path)
{
    if (specialFileReason(path) || QFileInfo(path).isSymLink())
        return refused(QStringLiteral("it is not a regular file"));
    if (!m_stability.isStable(path))
        return pending();
    // An empty file has not arrived yet, however long it stays so; the poll looks again.
    if (QFileInfo(path).size() == 0)
        return idle();
    return ready();
}

CloudInboxScanner::Arrival CloudInboxScanner::arrival(const QString& path, bool mayBeEmpty)
{
    if (!m_stability.isStable(path))
        return Arrival::Changing;
    if (!mayBeEmpty && QFileInfo(path).size() == 0)
        return Arrival::Empty;
    return Arrival::Arrived;
}

CloudInboxScanner::Readiness CloudInboxScanner::notePackageReadiness(const QString& package)
{
    if (const std::optional<Readiness> named = undecodableNameInside(package))
        return *named;
    const QString manifestPath = package + QStringLiteral("/note.json");
    const QString textPath = package + QStringLiteral("/note.txt");
    if (const std::optional<QString> why = unreadableManifest(manifestPath))
        return refused(*why);
    if (const std::optional<QString> why = specialFileReason(textPath))
        return refused(*why);
    // Both are stamped every scan, so a package is never more than one scan behind its files.
    const bool manifestStable = m_stability.isStable(manifestPath);
    const bool textStable = m_stability.isStable(textPath);
    if (!manifestStable || !textStable)
        return pending();
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<QStringList> attachments = json ? decodeNoteAttachments(*json) : std::nullopt;
    if (!attachments)
        return pending();
    PackageArrival arrived;
    // An empty note.txt is a note of photos only when the note has no text; otherwise its text
    // is still to come.
    const std::optional<MobileNoteManifest> note = decodeNoteManifest(*json);
    arrived.add(arrival(textPath, !note || note->text.isEmpty()));
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
        arrived.add(resolved.where == PackagePath::Where::Inside ? arrival(resolved.path, false) : Arrival::Changing);
    }
    return arrived.readiness();
}

CloudInboxScanner::Readiness CloudInboxScanner::activityPackageReadiness(const QString& package)
{
    if (const std::optional<Readiness> named = undecodableNameInside(package))
        return *named;
    const QString manifestPath = package + QStringLiteral("/activity.json");
    if (const std::optional<QString> why = unreadableManifest(manifestPath))
        return refused(*why);
    if (!m_stability.isStable(manifestPath))
        return pending();
    const std::optional<QByteArray> json = readSmallFile(manifestPath);
    const std::optional<MobileActivityManifest> manifest = json ? decodeActivityManifest(*json) : std::nullopt;
    if (!manifest)
        return pending();
    PackageArrival arrived;
    for (const QString& relative : manifest->eventPaths) {
        if (relative.isEmpty())
            continue;
        const PackagePath resolved = resolvePackagePath(package, relative);
        // A path leaving the package names nothing this package owns: it neither holds the
        // package back nor gets read.
        if (resolved.where == PackagePath::Where::Outside)
            continue;
        arrived.add(resolved.where == PackagePath::Where::Missing ? Arrival::Changing : arrival(resolved.path, false));
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
        arrived.add(arrival(path, false));
    }
    return files > 0 ? arrived.readiness() : pending();
}

std::optional<CloudInboxScanner::Readiness> CloudInboxScanner::undecodableNameInside(const QString& package) const
{
    // Its manifest names its files in UTF-8, and only such names can be followed.
    const std::optional<QString> name = firstUndecodableName(QFile::encodeName(package));
    if (!name)
        return std::nullopt;
    return refused(QStringLiteral("the name \u201C") + *name + QStringLiteral("\u201D in it is not UTF-8 text"));
}

} // namespace vesk
