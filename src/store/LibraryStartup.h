#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThreadPool;

namespace vesk {

class SerialExecutor;
class StartupThreads;
struct LibraryReading;

// Start-up's reading of the library in the background: the worker and the threads it reads and
// indexes with, the first page shown meanwhile, and the hold a window puts on the reading (and on
// the check of the library file) until its first frame is drawn. What the worker reads is taken by
// the store, through the hooks, on the main thread; a reading still running when this object goes
// finishes on its worker and is dropped.
class LibraryStartup : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        // Starts the check of the library file when nothing is read in the background; it waits
        // for the same moment as a reading would.
        std::function<void()> startLibraryCheck;
        // True while that check still waits to start.
        std::function<bool()> libraryCheckWaiting;
        // Takes the library read on the worker.
        std::function<void(const std::shared_ptr<LibraryReading>&)> takeLibrary;
    };

    explicit LibraryStartup(Hooks hooks, QObject* parent = nullptr);
    ~LibraryStartup() override;

    // The store shows firstPage while the whole library in the file at databasePath is read on the
    // worker; the reading starts as startOnFirstTurn says.
    void beginReading(const QString& databasePath, const QString& itemsDirectory, const QList<VeskItem>& firstPage);
    // On the first turn of the event loop, unless a window holds it, the reading starts if one was
    // begun, else the check of the library file (which a reading leaves to the store to start once
    // search is ready).
    void startOnFirstTurn();
    // A hold ends by itself after a second, so a window that is never drawn cannot keep the
    // library unread. Nothing is held once the reading and the check have started.
    void hold();
    void release();

    // The first page as read, to tell what changed in memory while the rest was read; given once.
    QList<VeskItem> takeFirstPage();
    // True while start-up reads in the background: worker() and pool() are there.
    bool readsInBackground() const { return m_worker != nullptr; }
    SerialExecutor& worker() { return *m_worker; }
    QThreadPool* pool();
    // False from beginReading until finish().
    bool isFinished() const { return m_finished; }
    // Start-up has taken everything its workers read.
    void finish();
    // Releases the hold and waits for the workers until finish(), delivering their results, and
    // then for the work those results left them.
    void waitUntilFinished();

signals:
    void finished();

private:
    void start();

    Hooks m_hooks;
    QList<VeskItem> m_firstPage;
    std::unique_ptr<SerialExecutor> m_worker;
    std::unique_ptr<StartupThreads> m_threads;
    // The reading of the whole library, until it is started.
    std::function<void()> m_pendingReading;
    bool m_held = false;
    bool m_finished = true;
};

} // namespace vesk
