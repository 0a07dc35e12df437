#pragma once

#include <QObject>
#include <functional>

namespace vesk {

// An action asked for many times in one turn of the main loop that runs once, on the next turn:
// views redraw once however many changes arrive together. Nothing runs once the context is gone.
class CoalescedCall {
public:
    CoalescedCall(QObject* context, std::function<void()> action);

    void request();
    // The owner ran the action itself: the pending run is dropped.
    void settle() { m_pending = false; }
    bool isPending() const { return m_pending; }

private:
    QObject* m_context;
    std::function<void()> m_action;
    bool m_pending = false;
};

} // namespace vesk
