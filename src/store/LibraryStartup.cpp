#include "store/LibraryStartup.h"

#include "platform/FutureDelivery.h"
#include "platform/SerialExecutor.h"
#include "store/LibraryReading.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace vesk {

LibraryStartup::LibraryStartup(Hooks hooks, QObject* parent) : QObject(parent), m_hooks(std::move(hooks)) {}

LibraryStartup::~LibraryStartup()
{
    // The worker's jobs hand work to the threads' pool: the worker is waited for first, or a job
    // still running would use a pool already gone.
    m_worker.reset();
    m_threads.reset();
}

void LibraryStartup::beginReading(const QString& databasePath, const QString& itemsDirectory,
                                  const QList<VeskItem>& firstPage)
{
    m_firstPage = firstPage;
    m_finished = false;
    m_worker = std::make_unique<SerialExecutor>(QThread::LowPriority);
    m_threads = std::make_unique<StartupThreads>();
    m_pendingReading = [this, databasePath, itemsDirectory] {
        deliverResult(this,
            m_worker->run([databasePath, itemsDirectory, pool = m_threads->pool()] {
                return std::make_shared<LibraryReading>(
                    readLibrary(databasePath, itemsDirectory, pool, searchIndexFilePath(databasePath)));
            }),
            [this](const std::shared_ptr<LibraryReading>& reading) { m_hooks.takeLibrary(reading); });
    };
    startOnFirstTurn();
}

void LibraryStartup::startOnFirstTurn()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_held)
            start();
    });
}

void LibraryStartup::start()
{
    // While the library is read and indexed the check would only take cores from it (at the
    // window's priority, ahead of start-up's threads), and the user waits for search, not for
    // the check: the store starts it once search is ready.
    if (m_pendingReading) {
        const std::function<void()> reading = std::move(m_pendingReading);
        m_pendingReading = nullptr;
        reading();
        return;
    }
    if (m_finished)
        m_hooks.startLibraryCheck();
}

void LibraryStartup::hold()
{
    if (!m_pendingReading && !m_hooks.libraryCheckWaiting())
        return;
    m_held = true;
    QTimer::singleShot(1000, this, &LibraryStartup::release);
}

void LibraryStartup::release()
{
    m_held = false;
    start();
}

QList<VeskItem> LibraryStartup::takeFirstPage()
{
    return std::exchange(m_firstPage, {});
}

QThreadPool* LibraryStartup::pool()
{
    return m_threads->pool();
}

void LibraryStartup::finish()
{
    m_finished = true;
    emit finished();
}

void LibraryStartup::waitUntilFinished()
{
    release();
    while (!m_finished && m_worker) {
        m_worker->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    // What the last results handed back to the worker (the index file written for the next
    // start) is start-up's work too: a caller that waits for it meets a store at rest.
    if (m_worker)
        m_worker->waitForDone();
}

} // namespace vesk
