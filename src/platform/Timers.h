#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QTimer;

namespace vesk {

// A delay started through Timers; cancelling it means its action never runs.
class PendingDelay {
public:
    void cancel();
    bool isCancelled() const { return m_cancelled; }

private:
    friend class SystemTimers;
    bool m_cancelled = false;
    QPointer<QTimer> m_timer;
};

// One-shot delays on the main thread ("hide again in 30 seconds"). The application uses
// SystemTimers; tests use a fake whose time only moves when the test says so.
class Timers {
public:
    virtual ~Timers() = default;
    // Runs action once, delayMs from now, unless the answer is cancelled first or context (never
    // null: qApp for a delay that outlives every window) is destroyed first.
    virtual std::shared_ptr<PendingDelay> after(int delayMs, QObject* context, std::function<void()> action) = 0;
};

class SystemTimers final : public Timers {
public:
    std::shared_ptr<PendingDelay> after(int delayMs, QObject* context, std::function<void()> action) override;
    // The process's one instance.
    static std::shared_ptr<Timers> shared();
};

} // namespace vesk
