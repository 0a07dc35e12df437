#include "store/VeskRecoverySnapshots.h"

#include "platform/Log.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QPointer>
#include <QPromise>
#include <QTimer>

namespace vesk {

namespace {

const QString kLaunchFailure = QStringLiteral("Vesk recovery launch snapshot error: ");
const QString kSettledFailure = QStringLiteral("Vesk recovery scheduled snapshot error: ");
const QString kDestructiveFailure = QStringLiteral("Vesk pre-destructive recovery snapshot error: ");
// A building folder untouched for this long belongs to no snapshot at work.
constexpr qint64 kAbandonedBuildingAgeSecs = 3600;

} // namespace

// Lives on the snapshot thread; everything that touches the snapshots folder runs here, so two
// snapshots never overlap and the listing, pruning and timer are never shared.
class VeskRecoverySnapshots::Worker final : public QObject {
public:
    Worker(VeskRecoverySnapshots* owner, const QString& dataDirectory, const RecoverySnapshotTiming& timing)
        : m_owner(owner), m_timing(timing), m_folder(dataDirectory, timing.maximumSnapshotCount, timing.pacing)
    {
        m_settleTimer = new QTimer(this);
        m_settleTimer->setSingleShot(true);
        QObject::connect(m_settleTimer, &QTimer::timeout, this, [this] { settleTimerFired(); });
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

    // Every change restarts the wait, so the snapshot follows the last change of a burst.
    void noteChange()
    {
        ++m_generation;
        m_settleTimer->start(m_timing.changeDebounceMs);
    }

    void settled(quint64 generation, const QDateTime& now, const RecoveryState& state)
    {
        // A newer change restarted the wait, or a destructive snapshot cancelled it.
        if (generation != m_generation)
            return;
        if (isFresh(now, m_timing.minimumRoutineIntervalSecs, kSettledFailure))
            return;
        take(QStringLiteral("settled-change"), now, state, kSettledFailure);
    }

    bool destructive(const QString& reason, const QDateTime& now, const RecoveryState& state)
    {
        m_settleTimer->stop();
        ++m_generation;
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
    void settleTimerFired()
    {
        // The clock and the user defaults belong to the main thread: ask there, and the answer
        // comes back as settled().
        const quint64 generation = m_generation;
        QPointer<VeskRecoverySnapshots> owner = m_owner;
        QMetaObject::invokeMethod(
            m_owner, [owner, generation] {
                if (owner)
                    owner->takeSettledSnapshot(generation);
            },
            Qt::QueuedConnection);
    }

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

    VeskRecoverySnapshots* m_owner;
    RecoverySnapshotTiming m_timing;
    RecoverySnapshotFolder m_folder;
    QTimer* m_settleTimer = nullptr;
    quint64 m_generation = 0;
};

VeskRecoverySnapshots::VeskRecoverySnapshots(QString dataDirectory, std::shared_ptr<Clock> clock,
                                             std::shared_ptr<Settings> settings, RecoverySnapshotTiming timing,
                                             QObject* parent)
    : QObject(parent), m_dataDirectory(std::move(dataDirectory)), m_clock(std::move(clock)),
      m_settings(std::move(settings)), m_timing(timing)
{
    m_thread.setObjectName(QStringLiteral("VeskRecoverySnapshots"));
    m_worker = new Worker(this, m_dataDirectory, m_timing);
    m_worker->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
    // Runs before any snapshot of this process, so every building folder found is another run's.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->removeAbandonedBuildingFolders(); },
                              Qt::QueuedConnection);
}

VeskRecoverySnapshots::~VeskRecoverySnapshots()
{
    // The worker and its timer go on their own thread, after any snapshot being taken there.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_worker = nullptr;
    m_thread.quit();
    m_thread.wait();
}

void VeskRecoverySnapshots::noteChange()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->noteChange(); }, Qt::QueuedConnection);
}

void VeskRecoverySnapshots::requestLaunchSnapshot()
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, now = m_clock->now(), state = currentState()] { worker->launch(now, state); },
        Qt::QueuedConnection);
}

bool VeskRecoverySnapshots::synchronousSnapshot(const QString& reason)
{
    Q_ASSERT_X(QThread::currentThread() != &m_thread, "VeskRecoverySnapshots", "waiting on its own thread");
    bool taken = false;
    const QDateTime now = m_clock->now();
    const RecoveryState state = currentState();
    // Waits behind a snapshot already running there; the copy's own busy limit bounds the wait.
    QMetaObject::invokeMethod(
        m_worker, [&] { taken = m_worker->destructive(reason, now, state); }, Qt::BlockingQueuedConnection);
    return taken;
}

QFuture<bool> VeskRecoverySnapshots::snapshotBeforeDestructiveChange(const QString& reason)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> taken = promise->future();
    // Queued jobs run before the worker is deleted, so the promise always gets its answer.
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, reason, now = m_clock->now(), state = currentState(), promise] {
            promise->addResult(worker->destructive(reason, now, state));
            promise->finish();
        },
        Qt::QueuedConnection);
    return taken;
}

void VeskRecoverySnapshots::takeSettledSnapshot(quint64 generation)
{
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, generation, now = m_clock->now(), state = currentState()] {
            worker->settled(generation, now, state);
        },
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
