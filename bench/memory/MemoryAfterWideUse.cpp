// Memory after a wider use of the window than BM_MemoryAfterUse's, as someone who keeps the
// application open for an afternoon uses it: over the generated library with a dozen phone-sized
// photographs, PDF documents, short videos and long notes imported into it by an earlier window,
// each round types a new query, opens a few of its results and scrolls through them, scrolls the
// whole library somewhere else, opens a photograph or two, a document, a video, a long note and
// the note of ten megabytes captured in the first round, captures a note (a long one every fourth
// round), and opens and closes the composer and the edit sheet (the About card and the People
// window every fourth round).
//
// Counters, in MiB: rss_start_mb after start and import, rss_first_mb after the first round (the
// note of 10 MB is part of the library from then on), rss_half_mb and rss_after_mb after half and
// all of the rounds, each as the user sees it, a quiet moment after the last action; the heap_*_mb
// ones what the allocator has in use and keeps free at each count; rss_after_trim_mb the last
// count again after the allocator handed back its free pages, which tells memory held from memory
// merely not returned. The goal is on rss_after_mb: within 5 % of rss_start_mb (growth_pct).
// VESK_MEMORY_ROUNDS sets the number of rounds (24 by default, about four minutes); with
// VESK_MEMORY_TRACE set, each round's counts are written to standard error; with
// VESK_MEMORY_TRIM_COUNTS set, every count is followed by a release of the allocator's free pages
// (rss_*_trim_mb), so that each count shows what the rounds since the last one added; with
// VESK_MEMORY_EXIT_AFTER_COUNT set, the process ends at the last count without taking the window
// down, for a heap profiler to report what was still held.
#include "MemoryCounts.h"
#include "UseMedia.h"

#include "common/BenchTemp.h"
#include "LibraryGenerator.h"
#include "app/AboutViews.h"
#include "app/LibrarySheets.h"
#include "app/MainWindow.h"
#include "app/TextCaptureSheet.h"
#include "grid/LibraryGridCanvas.h"
#include "grid/LibraryGridView.h"
#include "pane/ItemEditSheet.h"
#include "pane/VeskPreview.h"
#include "people/PeopleWindow.h"
#include "platform/Uuid.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFuture>
#include <QScrollBar>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using vesk::bench::settle;

struct Library {
    QList<QUuid> photos;
    QList<QUuid> documents;
    QList<QUuid> videos;
    QList<QUuid> longNotes;
    std::optional<QUuid> bigNote;
    QList<QUuid> captured; // every item the rounds and the setup added, for the thumbnails they left
};

// The item whose managed file has the name of path; none when it was not imported.
std::optional<QUuid> importedItem(const vesk::VeskStore& store, const QString& path)
{
    const QString name = QLatin1Char('/') + QFileInfo(path).fileName();
    for (const vesk::VeskItem& item : store.items()) {
        if (item.filePath && item.filePath->endsWith(name))
            return item.id;
    }
    return std::nullopt;
}

QList<QUuid> importAll(vesk::VeskStore& store, const QStringList& paths)
{
    QList<QUuid> ids;
    for (const QString& path : paths) {
        QFuture<bool> imported = store.importFile(path);
        while (!imported.isFinished())
            settle(50);
        if (const std::optional<QUuid> id = importedItem(store, path))
            ids.append(*id);
    }
    return ids;
}

// Captures text and answers its item, which the store selects when it commits it.
std::optional<QUuid> capture(vesk::VeskStore& store, const QString& text)
{
    std::optional<bool> kept;
    store.addText(text, std::nullopt, [&kept](bool done) { kept = done; });
    QElapsedTimer waited;
    waited.start();
    while (!kept && waited.elapsed() < 60'000)
        settle(50);
    settle(100);
    return kept && *kept ? store.selectedID() : std::nullopt;
}

void select(vesk::VeskStore& store, const QList<QUuid>& ids, int index, int ms)
{
    if (ids.isEmpty())
        return;
    store.select(ids.at(index % ids.size()));
    settle(ms);
}

// A page at a time through what the grid shows, from a fraction of the way down.
void scrollGrid(vesk::LibraryGridView& grid, double from, int pages)
{
    QScrollBar* bar = grid.canvas()->verticalScrollBar();
    const int page = std::max(1, bar->pageStep());
    bar->setValue(int(bar->maximum() * from));
    settle(60);
    for (int i = 0; i < pages; ++i) {
        bar->setValue(bar->value() + page);
        settle(60);
    }
    bar->setValue(0);
    settle(60);
}

void openAndClose(vesk::MainWindow& window, void (vesk::MainWindowState::*show)(bool), int ms)
{
    (window.state().*show)(true);
    settle(ms);
    (window.state().*show)(false);
    settle(100);
}

void useOnce(vesk::bench::RunningWindow& running, vesk::bench::LibraryGenerator& words, Library& library,
             int round, int rounds)
{
    vesk::VeskStore& store = running.store();
    vesk::MainWindow& window = running.window();
    auto* grid = window.findChild<vesk::LibraryGridView*>();
    auto* preview = window.findChild<vesk::VeskPreview*>();

    // A new query, one or two words, typed letter by letter; a few of its results opened, and
    // a scroll through them.
    QString query = words.wordAtRank(45 + round * 61);
    if (round % 2)
        query += QLatin1Char(' ') + words.wordAtRank(20 + round * 17);
    for (qsizetype n = 1; n <= query.size(); ++n) {
        store.setSearchText(query.left(n));
        settle(90);
    }
    settle(400);
    const QList<vesk::VeskItem> results = store.filteredItems().mid(0, 3);
    for (const vesk::VeskItem& item : results) {
        store.select(item.id);
        settle(250);
    }
    if (grid)
        scrollGrid(*grid, 0, 8);
    store.setSearchText(QString());
    settle(150);

    // Somewhere else in the whole library.
    if (grid) {
        grid->setShowingAllVesks(true);
        settle(150);
        scrollGrid(*grid, double(round + 1) / double(rounds + 1), 8);
        grid->setShowingAllVesks(false);
        settle(150);
    }

    // Each kind the pane shows.
    select(store, library.photos, round, 600);
    select(store, library.photos, round + library.photos.size() / 2, 600);
    select(store, library.documents, round, 500);
    select(store, library.videos, round, 500);
    select(store, library.longNotes, round, 400);
    if (library.bigNote) {
        store.select(*library.bigNote);
        settle(600);
    }

    // Captures: a note of a paragraph, a long one every fourth round, and in the first round
    // ten megabytes of text.
    if (round == 0) {
        QString big;
        while (big.size() < 10'000'000)
            big += words.noteText(20'000) + QLatin1Char('\n');
        library.bigNote = capture(store, big);
        if (library.bigNote)
            library.captured.append(*library.bigNote);
        settle(1000);
    }
    const std::optional<QUuid> note = capture(store, words.noteText(round % 4 == 3 ? 30'000 : 120 + round % 80));
    if (note)
        library.captured.append(*note);
    settle(250);

    // The sheets: the composer and the edit sheet every round, the About card and the People
    // window every fourth.
    openAndClose(window, &vesk::MainWindowState::setShowingTextCapture, 300);
    if (preview && note) {
        store.select(*note);
        settle(250);
        if (preview->item()) {
            vesk::ItemEditSheet* sheet = preview->openEditSheet(*preview->item());
            settle(300);
            sheet->reject();
            settle(100);
        }
    }
    if (round % 4 == 1) {
        openAndClose(window, &vesk::MainWindowState::setShowingAboutVesk, 300);
        openAndClose(window, &vesk::MainWindowState::setShowingFaceClusterInspector, 600);
    }
}

void installSheets(vesk::MainWindow& window)
{
    window.setSheetFactory(vesk::SheetFlag::TextCapture, vesk::makeTextCaptureSheet);
    window.setSheetFactory(vesk::SheetFlag::AboutVesk,
                           [](vesk::MainWindow& w) { return new vesk::VeskAboutCard(&w); });
    vesk::installLibrarySheets(window);
    window.setSheetFactory(vesk::SheetFlag::FaceClusterInspector, [](vesk::MainWindow& w) {
        return new vesk::VeskFaceClusterInspector(w.store(), &w);
    });
}

void setCounters(benchmark::State& state, const char* name, const vesk::bench::MemoryCount& count)
{
    const std::string prefix(name);
    state.counters["rss_" + prefix + "_mb"] = count.residentMiB;
    if (count.trimmedMiB > 0)
        state.counters["rss_" + prefix + "_trim_mb"] = count.trimmedMiB;
    state.counters["heap_" + prefix + "_used_mb"] = count.heapInUseMiB;
    state.counters["heap_" + prefix + "_free_mb"] = count.heapFreeMiB;
}

void trace(const char* when, int round, const vesk::bench::MemoryCount& count)
{
    static const bool wanted = !qEnvironmentVariableIsEmpty("VESK_MEMORY_TRACE");
    if (wanted)
        std::fprintf(stderr, "%s %d: rss %.1f trimmed %.1f heap used %.1f free %.1f\n", when, round,
                     count.residentMiB, count.trimmedMiB, count.heapInUseMiB, count.heapFreeMiB);
}

void BM_MemoryAfterWideUse(benchmark::State& state)
{
    const int count = int(state.range(0));
    const int rounds = vesk::bench::memoryRounds(24);
    const auto folder = vesk::bench::copiedLibrary(count);
    if (!folder) {
        state.SkipWithError(qPrintable(folder.error()));
        return;
    }
    const vesk::bench::UseMedia media = vesk::bench::makeUseMedia(
        QDir(vesk::bench::benchRunFolder()).filePath(QStringLiteral("media")), 12, 8, 4);
    vesk::bench::MemoryCount start, first, half, after;
    double peak = 0;
    Library library;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        // Styled as the application styles its widgets: the style sheet's style keeps its own
        // rules for every widget it draws.
        QApplication::setPalette(vesk::Theme::current().palette());
        qApp->setStyleSheet(vesk::applicationStyleSheet(vesk::Theme::current()));
        // The media come into the library through a window of their own: the window counted
        // starts over a library that holds them, as after a restart, with nothing of their
        // import (the pane's pictures, the analysis's text recognisers) in its caches.
        vesk::bench::LibraryGenerator words(7);
        {
            auto importing = vesk::bench::settledWindow(*folder);
            vesk::VeskStore& store = importing->store();
            library.photos = importAll(store, media.photos);
            library.documents = importAll(store, media.documents);
            library.videos = importAll(store, media.videos);
            for (int i = 0; i < 3; ++i) {
                if (const std::optional<QUuid> note = capture(store, words.noteText(30'000)))
                    library.longNotes.append(*note);
            }
            // The analysis of the imported pictures.
            vesk::bench::settleMemory();
        }
        library.captured = library.photos + library.documents + library.videos + library.longNotes;
        if (library.photos.size() != media.photos.size() || library.documents.size() != media.documents.size()
            || library.videos.size() != media.videos.size() || library.longNotes.size() != 3) {
            const QString counts = QStringLiteral("the media did not all come into the library: %1/%2 photos, "
                                                  "%3/%4 documents, %5/%6 videos, %7/3 long notes")
                                       .arg(library.photos.size()).arg(media.photos.size())
                                       .arg(library.documents.size()).arg(media.documents.size())
                                       .arg(library.videos.size()).arg(media.videos.size())
                                       .arg(library.longNotes.size());
            state.SkipWithError(qPrintable(counts));
            break;
        }
        auto running = vesk::bench::settledWindow(*folder);
        vesk::VeskStore& store = running->store();
        installSheets(running->window());
        static const bool trimCounts = qEnvironmentVariableIsSet("VESK_MEMORY_TRIM_COUNTS");
        start = vesk::bench::countMemory(trimCounts);
        trace("start", 0, start);

        for (int round = 0; round < rounds; ++round) {
            useOnce(*running, words, library, round, rounds);
            if (round == 0 || round + 1 == rounds / 2 || qEnvironmentVariableIsSet("VESK_MEMORY_TRACE")) {
                settle(vesk::bench::kQuietMs);
                const vesk::bench::MemoryCount now = vesk::bench::countMemory(trimCounts);
                trace("round", round + 1, now);
                if (round == 0)
                    first = now;
                if (round + 1 == rounds / 2)
                    half = now;
            }
        }
        store.setSelectedID(std::nullopt);
        settle(vesk::bench::kQuietMs);
        after = vesk::bench::countMemory(true);
        trace("after", rounds, after);
        peak = vesk::bench::peakMiB();
        // For a heap profiler: what the window holds now is what it reports as never freed, and
        // two runs of different lengths tell what the rounds added.
        if (qEnvironmentVariableIsSet("VESK_MEMORY_EXIT_AFTER_COUNT")) {
            std::fflush(stderr);
            std::_Exit(0);
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        const QString thumbnails =
            QDir(*folder).filePath(QStringLiteral("Thumbnails"));
        running.reset();
        // The thumbnails folder is the kept library's: what the run's items left there goes.
        for (const QUuid& id : library.captured)
            QFile::remove(QDir(thumbnails).filePath(vesk::uuidString(id) + QStringLiteral(".png")));
    }
    setCounters(state, "start", start);
    setCounters(state, "first", first);
    setCounters(state, "half", half);
    setCounters(state, "after", after);
    state.counters["peak_mb"] = peak;
    state.counters["rounds"] = rounds;
    state.counters["growth_pct"] = start.residentMiB > 0 ? 100.0 * (after.residentMiB / start.residentMiB - 1) : 0;
}
BENCHMARK(BM_MemoryAfterWideUse)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
