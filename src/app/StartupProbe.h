#pragma once
// Start-up timings for the start-up benchmark: with VESK_STARTUP_PROBE set, the application
// writes one line to standard error when the grid has painted its first cards ("vesk-probe
// first-frame"), when search is ready ("vesk-probe search-ready") and when start-up has taken
// all it reads ("vesk-probe startup-finished"), each with the longest time the main thread went
// without turning its event loop until then. Nothing happens without it. With VESK_STALL_TRACE
// set as well, every stall over 20 ms (or over VESK_STALL_TRACE_MS) is written out ("vesk-stall")
// with the processor time the main thread had in it and its monotonic bounds, to be lined up with
// a profiler's samples.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace vesk {

class VeskApp;
class LibraryGridCanvas;

class StartupProbe : public QObject {
    Q_OBJECT
public:
    // Installs a probe on the application when the environment asks for one.
    static void installIfRequested(VeskApp& app);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit StartupProbe(VeskApp& app);
    void report(const char* what);
    void checkSearchReady();
    void checkStartupFinished();

    VeskApp& m_app;
    QPointer<LibraryGridCanvas> m_canvas;
    QElapsedTimer m_clock;
    QTimer m_heartbeat;
    qint64 m_lastBeatMs = 0;
    qint64 m_longestStallMs = 0;
    double m_lastBeatCpuMs = 0;
    bool m_framePainted = false;
    bool m_searchReported = false;
    bool m_finishReported = false;
};

} // namespace vesk
