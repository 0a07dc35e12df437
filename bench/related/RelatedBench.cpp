// Related-item benchmarks on started stores: what a ranking over the whole library costs (now
// made on a worker), what the remembered ranking costs, and what the main thread pays to show an
// item in the preview pane. Every figure is per call; run with --benchmark_repetitions=5 (the
// default here) and read the medians.
#include "BenchMain.h"

#include "pane/RelatedPanels.h"
#include "pane/VeskPreview.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"
#include "store/SearchState.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <ctime>
#include <utility>

using namespace vesk;
using namespace vesk::bench;

namespace {

// The items the pane shows in turn: a spread across the library.
VeskItem focused(VeskStore& library, qint64 iteration)
{
    const QList<VeskItem>& items = library.items();
    return items.at(qsizetype((iteration * 7919) % items.size()));
}

void BM_RelatedItems_Fresh(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    qint64 iteration = 0;
    for (auto _ : state) {
        StoreInternals::searchState(library).relatedCache.clear();
        benchmark::DoNotOptimize(library.relatedItems(focused(library, iteration++), 3));
    }
}

void BM_RelatedItems_Remembered(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    const VeskItem item = focused(library, 1);
    library.relatedItems(item, 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(library.relatedItems(item, 3));
}

void BM_RelatedVersions(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    // A file item, so that every other file is compared with it.
    VeskItem file;
    for (const VeskItem& item : library.items()) {
        if (item.filePath) {
            file = item;
            break;
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(library.relatedVersions(file, 6));
}

// The main thread's CPU time, so that a worker's share of the same work is not counted.
double mainThreadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Tells whether the pane did some of the work of showing an item since the last question: it
// took an answer, showed or hid a part, laid out, painted, or let go of the previous item's
// content. An answer reaches an object of the panel that is not a widget, so the turn that takes
// it is known by the rows it shows.
class PaneWork : public QObject {
public:
    explicit PaneWork(QWidget& pane)
        : m_pane(pane)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PaneWork() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool take() { return std::exchange(m_seen, false); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        case QEvent::Move:
        case QEvent::LayoutRequest:
        case QEvent::Resize:
        case QEvent::DeferredDelete:
        case QEvent::MetaCall:
            if (auto* widget = qobject_cast<QWidget*>(object); widget && (widget == &m_pane || m_pane.isAncestorOf(widget)))
                m_seen = true;
            break;
        default: break;
        }
        return false;
    }

private:
    QWidget& m_pane;
    bool m_seen = false;
};

// Showing an item in the preview pane as a click on a card does: the selection changes, the pane
// builds and lays out its content and its related panels take their lists. The time is the main
// thread's, from the selection change until the pane is laid out with its related items in
// place (the ranking itself runs on a worker meanwhile). Waiting for the worker is not counted,
// nor are the turns of the event loop meanwhile in which the pane did nothing: the store's own
// background work (embedding, indexing) delivers to the main thread whatever is selected, and a
// wait that polled would count its own wake-ups.
void BM_ShowItem(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    VeskPreview pane(library);
    pane.followSelection();
    pane.resize(420, 900);
    pane.show();
    QCoreApplication::processEvents();
    // Both panels have shown their answers (a hidden panel answered "none").
    const auto answers = [&pane] {
        int count = 0;
        if (pane.content()) {
            for (const RelatedPanel* panel : pane.content()->findChildren<RelatedPanel*>())
                count += panel->isAnswered() ? 1 : 0;
        }
        return count;
    };
    PaneWork work(pane);
    // Wakes a wait that no delivery ends.
    QTimer wake;
    wake.start(50);
    qint64 iteration = 0;
    double slowest = 0;
    for (auto _ : state) {
        const VeskItem item = focused(library, iteration++);
        QElapsedTimer waited;
        waited.start();
        double mainMs = 0;
        const double before = mainThreadMs();
        library.select(item.id);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        mainMs += mainThreadMs() - before;
        while (answers() < 2 && waited.elapsed() < 10'000) {
            const double turn = mainThreadMs();
            work.take();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (work.take())
                mainMs += mainThreadMs() - turn;
        }
        // The layout the answers asked for.
        const double last = mainThreadMs();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        mainMs += mainThreadMs() - last;
        state.SetIterationTime(mainMs / 1e3);
        slowest = std::max(slowest, mainMs);
    }
    state.counters["max_ms"] = slowest;
}

BENCHMARK(BM_RelatedItems_Fresh)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelatedItems_Remembered)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RelatedVersions)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowItem)->Arg(100'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window's look, as the application sets it: every widget the pane makes is styled by it.
    QApplication::setPalette(Theme::current().palette());
    app.setStyleSheet(applicationStyleSheet(Theme::current()));
    return runBenchmarks(argc, argv);
}
