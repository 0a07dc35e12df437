#include "RunningWindow.h"

#include "app/MainWindow.h"
#include "platform/Settings.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace vesk::bench {

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    // Objects let go of with deleteLater inside this loop are deleted only by a loop further out,
    // which the application's own loop is and a benchmark's is not: without this, every sheet
    // closed and every preview section replaced stayed in memory.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

RunningWindow::RunningWindow(const QString& folder, int settledMs)
{
    VeskServices services = makeRealServices(folder);
    services.settings = std::make_shared<MemorySettings>();
    m_store = std::make_unique<VeskStore>(services);
    m_window = std::make_unique<MainWindow>(*m_store, services.settings);
    m_window->resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    m_window->show();
    QElapsedTimer starting;
    starting.start();
    while (!m_store->startupIsFinished() && starting.elapsed() < 300'000)
        settle(50);
    settle(settledMs);
}

RunningWindow::~RunningWindow()
{
    // The window holds the store.
    m_window.reset();
    m_store.reset();
}

} // namespace vesk::bench
