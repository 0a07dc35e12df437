#include "app/StartupProbe.h"

#include "app/VeskApp.h"
#include "grid/LibraryGridCanvas.h"
#include "store/VeskStore.h"

#include <QEvent>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace vesk {

namespace {
constexpr int kHeartbeatMs = 2;
}

void StartupProbe::installIfRequested(VeskApp& app)
{
    if (qEnvironmentVariableIsEmpty("VESK_STARTUP_PROBE"))
        return;
    new StartupProbe(app);
}

StartupProbe::StartupProbe(VeskApp& app) : QObject(&app), m_app(app)
{
    m_clock.start();
    m_canvas = app.mainWindow().findChild<LibraryGridCanvas*>();
    if (m_canvas)
        m_canvas->viewport()->installEventFilter(this);
    // A beat every few milliseconds: a late beat is a stretch in which the main thread did not
    // turn its event loop.
    m_heartbeat.setInterval(kHeartbeatMs);
    // With VESK_STALL_TRACE set as well, each long stall is written out with the monotonic times
    // at which it began and ended, to be lined up with a profiler's samples.
    static const bool trace = !qEnvironmentVariableIsEmpty("VESK_STALL_TRACE");
    // VESK_STALL_TRACE_MS lowers the bar, to see the work of one key or one delete, which is meant
    // to take well under a frame.
    static const qint64 traceOverMs = qEnvironmentVariableIsEmpty("VESK_STALL_TRACE_MS")
        ? 20
        : std::max(1, qEnvironmentVariableIntValue("VESK_STALL_TRACE_MS"));
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        const qint64 now = m_clock.elapsed();
        const qint64 stall = now - m_lastBeatMs - kHeartbeatMs;
        m_longestStallMs = std::max(m_longestStallMs, stall);
        m_lastBeatMs = now;
        if (!trace)
            return;
        // The processor time the main thread had tells its own work from waiting for a core.
        timespec used{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        const double usedMs = double(used.tv_sec) * 1e3 + double(used.tv_nsec) / 1e6;
        if (stall > traceOverMs) {
            timespec clock{};
            clock_gettime(CLOCK_MONOTONIC, &clock);
            const double end = double(clock.tv_sec) + double(clock.tv_nsec) / 1e9;
            std::fprintf(stderr, "vesk-stall %lld ms (%.1f ms on a core) at %lld ms, monotonic %.3f to %.3f s\n",
                static_cast<long long>(stall), usedMs - m_lastBeatCpuMs, static_cast<long long>(now),
                end - double(stall) / 1000.0, end);
        }
        m_lastBeatCpuMs = usedMs;
    });
    m_heartbeat.start();
    connect(&app.store(), &VeskStore::searchReadyChanged, this, &StartupProbe::checkSearchReady);
    connect(&app.store(), &VeskStore::startupFinished, this, &StartupProbe::checkStartupFinished);
    QTimer::singleShot(0, this, &StartupProbe::checkSearchReady);
    QTimer::singleShot(0, this, &StartupProbe::checkStartupFinished);
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_framePainted && event->type() == QEvent::Paint && m_canvas && watched == m_canvas->viewport()
        && !m_canvas->state().visibleItems.isEmpty()) {
        m_framePainted = true;
        // Reported on the next turn, once this paint has been done and flushed.
        QTimer::singleShot(0, this, [this] { report("first-frame"); });
    }
    return QObject::eventFilter(watched, event);
}

void StartupProbe::checkSearchReady()
{
    if (m_searchReported || !m_app.store().searchReady())
        return;
    m_searchReported = true;
    QTimer::singleShot(0, this, [this] { report("search-ready"); });
}

void StartupProbe::checkStartupFinished()
{
    if (m_finishReported || !m_app.store().startupIsFinished())
        return;
    m_finishReported = true;
    QTimer::singleShot(0, this, [this] { report("startup-finished"); });
}

void StartupProbe::report(const char* what)
{
    std::fprintf(stderr, "vesk-probe %s %lld longest-stall %lld\n", what,
        static_cast<long long>(m_clock.elapsed()), static_cast<long long>(m_longestStallMs));
    std::fflush(stderr);
}

} // namespace vesk
