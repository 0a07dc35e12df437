#pragma once
// The application's main window over a library folder, for benchmarks of what the user meets
// with the window open.

#include <QString>

#include <memory>

namespace vesk {
class MainWindow;
class VeskStore;
} // namespace vesk

namespace vesk::bench {

// Runs the event loop for ms milliseconds, as the application waits: processEvents with a time
// limit never sleeps, and a main thread that spins takes the cores from the workers. What was
// deleted later meanwhile is deleted on return, as the application's loop deletes it.
void settle(int ms);

// A store with the application's services (user defaults in memory) over the library in folder,
// and its main window at the default size, shown; made once start-up has finished and then
// settledMs more have passed for what start-up leaves running.
class RunningWindow {
public:
    RunningWindow(const QString& folder, int settledMs);
    ~RunningWindow();

    VeskStore& store() { return *m_store; }
    MainWindow& window() { return *m_window; }

private:
    std::unique_ptr<VeskStore> m_store;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace vesk::bench
