#pragma once

#include "model/ServiceInterfaces.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/Timers.h"
#include "store/RecoverySnapshotFolder.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <memory>
#include <optional>

namespace vesk {

// When snapshots are taken and how many are kept; tests shorten the settle delay.
struct RecoverySnapshotTiming {
    // A snapshot follows this long after the last of a burst of changes...
    int changeDebounceMs = 90'000;
    // ...unless the newest snapshot is younger than this.
    qint64 minimumRoutineIntervalSecs = 1800;
    // The launch snapshot is skipped while the newest is younger than this.
    qint64 launchFreshnessIntervalSecs = 21600;
    int maximumSnapshotCount = 6;
    DatabaseBackupPacing pacing;
};

// Keeps recovery snapshots of the library: at launch when the newest is old, some time after the
// library last changed, and synchronously before every destructive operation. All snapshot work
// runs one job at a time on a worker thread of its own, so copying never blocks the window;
// only a destructive operation waits, for its own snapshot. The clock, the timers that time the
// settling and the user defaults belong to the calling (main) thread; what they give is handed to
// the worker with each request. Failures end in
// one log line each and never stop the operation that asked.
class VeskRecoverySnapshots final : public QObject, public RecoverySnapshotService {
    Q_OBJECT

public:
    VeskRecoverySnapshots(QString dataDirectory, std::shared_ptr<Clock> clock, std::shared_ptr<Settings> settings,
                          std::shared_ptr<Timers> timers, RecoverySnapshotTiming timing = {},
                          QObject* parent = nullptr);
    // Waits for a snapshot that is being taken; a pending settle timer is dropped.
    ~VeskRecoverySnapshots() override;

    VeskRecoverySnapshots(const VeskRecoverySnapshots&) = delete;
    VeskRecoverySnapshots& operator=(const VeskRecoverySnapshots&) = delete;

    void noteChange() override;
    void requestLaunchSnapshot() override;
    bool synchronousSnapshot(const QString& reason) override;
    // Queued behind any snapshot already running; the future is finished on the snapshot thread.
    QFuture<bool> snapshotBeforeDestructiveChange(const QString& reason) override;

    // Blocks until the worker has handled every request queued before the call.
    void waitForIdle();

private:
    class Worker;

    // Changes have settled: the state is gathered here and the snapshot asked of the worker.
    void takeSettledSnapshot();
    // A destructive snapshot stands in for the one the settling would have taken.
    void dropSettling();
    RecoveryState currentState() const;

    QString m_dataDirectory;
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<Settings> m_settings;
    std::shared_ptr<Timers> m_timers;
    RecoverySnapshotTiming m_timing;
    // The wait after the last change; none while no change waits for its snapshot.
    std::shared_ptr<PendingDelay> m_settling;
    QThread m_thread;
    Worker* m_worker = nullptr;
};

} // namespace vesk
