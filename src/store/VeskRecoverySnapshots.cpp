#include "store/VeskRecoverySnapshots.h"

#include "platform/Log.h"
#include "platform/ThreadPriority.h"
#include "platform/ThreadSanitizerHandOff.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QPromise>

namespace vesk {

namespace {

const QString kLaunchFailure = QStringLiteral("Vesk recovery launch snapshot error: ");
const QString kSettledFailure = QStringLiteral("Vesk recovery scheduled snapshot error: ");
const QString kDestructiveFailure = QStringLiteral("Vesk pre-destructive recovery snapshot error: ");
// A building folder untouched for this long belongs to no snapshot at work.
constexpr qint64 kAbandonedBuildingAgeSecs = 3600;

} // namespace

// Lives on the snapshot thread; everything that touches the snapshots folder runs here, so two
// snapshots never overlap and the listing and pruning are never shared.
class VeskRecoverySnapshots::Worker final : public QObject {
public:
    Worker(const QString& dataDirectory, const RecoverySnapshotTiming& timing)
        : m_timing(timing), m_folder(dataDirectory, timing.maximumSnapshotCount, timing.pacing)
    {
    }

    void removeAbandonedBuildingFolders()
    {
        for (const QString& path : m_folder.removeAbandonedBuildingFolders(kAbandonedBuildingAgeSecs))
            veskLog(QStringLiteral("Vesk recovery removed an unfinished snapshot folder: ") + path);
    }

    void launch(const QDateTime& now, const RecoveryState& state)
    {
        if (isFresh(now, m_timing.launchFreshnessIntervalSecs, kLaunchFailure))
            return;
        take(QStringLiteral("launch"), now, state, kLaunchFailure);
    }

    void settled(const QDateTime& now, const RecoveryState& state)
    {
        if (isFresh(now, m_timing.minimumRoutineIntervalSecs, kSettledFailure))
            return;
        take(QStringLiteral("settled-change"), now, state, kSettledFailure);
    }

    bool destructive(const QString& reason, const QDateTime& now, const RecoveryState& state)
    {
        // Removing an old snapshot costs as much as linking a new one: the waiting window is let
        // go first, and the pruning runs as this thread's next job.
        const bool taken = take(reason, now, state, kDestructiveFailure, false);
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (auto pruned = m_folder.pruneSnapshots(); !pruned)
                    veskLog(kDestructiveFailure + pruned.error().logText());
            },
            Qt::QueuedConnection);
        return taken;
    }

private:
    // True when the newest snapshot is younger than the interval (one dated in the future counts
    // as fresh), or when the listing failed (logged).
    bool isFresh(const QDateTime& now, qint64 intervalSecs, const QString& failurePrefix) const
    {
        auto newest = m_folder.newestSnapshotDate();
        if (!newest) {
            veskLog(failurePrefix + newest.error().logText());
            return true;
        }
        return newest->has_value() && (*newest)->secsTo(now) < intervalSecs;
    }

    bool take(const QString& reason, const QDateTime& now, const RecoveryState& state, const QString& failurePrefix,
              bool pruneNow = true)
    {
        auto taken = m_folder.createSnapshot(reason, now, state, pruneNow);
        if (taken)
            return true;
        veskLog(failurePrefix + taken.error().logText());
        return false;
    }

    RecoverySnapshotTiming m_timing;
    RecoverySnapshotFolder m_folder;
};

VeskRecoverySnapshots::VeskRecoverySnapshots(QString dataDirectory, std::shared_ptr<Clock> clock,
                                             std::shared_ptr<Settings> settings, std::shared_ptr<Timers> timers,
                                             RecoverySnapshotTiming timing, QObject* parent)
    : QObject(parent), m_dataDirectory(std::move(dataDirectory)), m_clock(std::move(clock)),
      m_settings(std::move(settings)), m_timers(std::move(timers)), m_timing(timing)
{
    m_thread.setObjectName(QStringLiteral("VeskRecoverySnapshots"));
    m_worker = new Worker(m_dataDirectory, m_timing);
    m_worker->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
    // Linux ignores the priority a QThread starts with; a snapshot copies the whole library file
    // and would otherwise take the processor from the window as an equal, as the launch snapshot
    // does when the first drops arrive. Nothing in the running window waits for a snapshot.
    QMetaObject::invokeMethod(m_worker, handedOff([] { makeCurrentThreadBackground(); }), Qt::QueuedConnection);
    // Runs before any snapshot of this process, so every building folder found is another run's.
    QMetaObject::invokeMethod(m_worker, handedOff([worker = m_worker] { worker->removeAbandonedBuildingFolders(); }),
                              Qt::QueuedConnection);
}

VeskRecoverySnapshots::~VeskRecoverySnapshots()
{
    dropSettling();
    // The worker goes on its own thread, after any snapshot being taken there.
    QMetaObject::invokeMethod(m_worker, handedOff([worker = m_worker] { delete worker; }), Qt::BlockingQueuedConnection);
    m_worker = nullptr;
    m_thread.quit();
    m_thread.wait();
}

void VeskRecoverySnapshots::noteChange()
{
    // Every change restarts the wait, so the snapshot follows the last change of a burst.
    dropSettling();
    m_settling = m_timers->after(m_timing.changeDebounceMs, this, [this] {
        m_settling.reset();
        takeSettledSnapshot();
    });
}

void VeskRecoverySnapshots::dropSettling()
{
    if (m_settling)
        m_settling->cancel();
    m_settling.reset();
}

void VeskRecoverySnapshots::requestLaunchSnapshot()
{
    QMetaObject::invokeMethod(
        m_worker,
        handedOff([worker = m_worker, now = m_clock->now(), state = currentState()] { worker->launch(now, state); }),
        Qt::QueuedConnection);
}

bool VeskRecoverySnapshots::synchronousSnapshot(const QString& reason)
{
    Q_ASSERT_X(QThread::currentThread() != &m_thread, "VeskRecoverySnapshots", "waiting on its own thread");
    dropSettling();
    bool taken = false;
    const QDateTime now = m_clock->now();
    const RecoveryState state = currentState();
    // Waits behind a snapshot already running there; the copy's own busy limit bounds the wait.
    QMetaObject::invokeMethod(
        m_worker, handedOff([&] {
            taken = m_worker->destructive(reason, now, state);
            handOff(&taken);
        }),
        Qt::BlockingQueuedConnection);
    takeOver(&taken);
    return taken;
}

QFuture<bool> VeskRecoverySnapshots::snapshotBeforeDestructiveChange(const QString& reason)
{
    dropSettling();
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> taken = promise->future();
    // Queued jobs run before the worker is deleted, so the promise always gets its answer.
    QMetaObject::invokeMethod(
        m_worker,
        handedOff([worker = m_worker, reason, now = m_clock->now(), state = currentState(), promise] {
            promise->addResult(worker->destructive(reason, now, state));
            promise->finish();
        }),
        Qt::QueuedConnection);
    return taken;
}

void VeskRecoverySnapshots::takeSettledSnapshot()
{
    QMetaObject::invokeMethod(
        m_worker,
        handedOff([worker = m_worker, now = m_clock->now(), state = currentState()] { worker->settled(now, state); }),
        Qt::QueuedConnection);
}

void VeskRecoverySnapshots::waitForIdle()
{
    QMetaObject::invokeMethod(m_worker, [] {}, Qt::BlockingQueuedConnection);
}

RecoveryState VeskRecoverySnapshots::currentState() const
{
    RecoveryState state;
    if (m_settings->contains(VeskStore::manualTagsDefaultsKey))
        state.manualTags = m_settings->data(VeskStore::manualTagsDefaultsKey);
    if (m_settings->contains(VeskStore::usageDefaultsKey))
        state.usageSignals = m_settings->data(VeskStore::usageDefaultsKey);
    return state;
}

} // namespace vesk
