#pragma once
// The signals that ask a desktop program to end (SIGTERM at logout or shutdown, SIGINT from a
// terminal, SIGHUP when the terminal goes), turned into a Qt signal on the thread that made this
// object, from its event loop: the program then ends the way its own Quit command ends it, with
// its last saves, instead of being cut off where it stood. One object at a time per process; the
// handlers it replaced come back when it goes.

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace vesk {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // False when the handlers could not be installed (another object holds them).
    bool isActive() const { return m_notifier != nullptr; }

    static constexpr std::array<int, 3> kSignals {SIGTERM, SIGINT, SIGHUP};

signals:
    // The signal's number.
    void received(int signal);

private:
    void readPending();

    int m_fds[2] {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, kSignals.size()> m_previous {};
};

} // namespace vesk
