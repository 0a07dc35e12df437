#include "app/StartupProbe.h"

#include "app/VeskApp.h"
#include "grid/LibraryGridCanvas.h"
#include "store/VeskStore.h"

#include <QEvent>
#include <cstdio>

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
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        const qint64 now = m_clock.elapsed();
        m_longestStallMs = std::max(m_longestStallMs, now - m_lastBeatMs - kHeartbeatMs);
        m_lastBeatMs = now;
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
