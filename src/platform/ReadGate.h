#pragma once

#include "platform/ThreadSanitizerHandOff.h"

#include <atomic>
#include <memory>
#include <shared_mutex>
#include <thread>

namespace vesk {

// Lets a worker read state that one thread (the owner) changes, in short turns: the owner takes
// the gate around each change and waits at most for the turn being read; a worker about to start
// a turn lets a waiting owner go first. Once closed (by the owner, before the state goes away),
// no turn starts again. Readers hold the gate through a shared_ptr, so it outlives the state.
class ReadGate {
public:
    // The owner's hold over one change.
    class Change {
    public:
        explicit Change(ReadGate& gate)
            : m_gate(gate)
        {
            m_gate.m_ownerWaiting.fetch_add(1, std::memory_order_relaxed);
            m_gate.m_mutex.lock();
            m_gate.m_ownerWaiting.fetch_sub(1, std::memory_order_relaxed);
        }
        ~Change()
        {
            // The lock orders the change before the next turn already; said again for the
            // thread sanitizer, which loses it with the owner's lock now and then.
            handOff(&m_gate);
            m_gate.m_mutex.unlock();
        }
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        ReadGate& m_gate;
    };

    // The owner's hold over one change, taken only if no turn is being read: a change that can
    // wait for a later moment need not hold up the owner's thread for a whole turn.
    class TryChange {
    public:
        explicit TryChange(ReadGate& gate)
            : m_gate(gate), m_held(gate.m_mutex.try_lock()) {}
        ~TryChange()
        {
            if (m_held) {
                handOff(&m_gate);
                m_gate.m_mutex.unlock();
            }
        }
        TryChange(const TryChange&) = delete;
        TryChange& operator=(const TryChange&) = delete;
        bool held() const { return m_held; }

    private:
        ReadGate& m_gate;
        bool m_held;
    };

    // Runs read under the gate unless it is closed; returns whether it ran.
    template <typename Read>
    bool readTurn(Read&& read)
    {
        while (m_ownerWaiting.load(std::memory_order_relaxed) > 0)
            std::this_thread::yield();
        std::shared_lock lock(m_mutex);
        takeOver(this);
        if (m_closed)
            return false;
        read();
        return true;
    }

    void close()
    {
        Change change(*this);
        m_closed = true;
    }

private:
    std::shared_mutex m_mutex;
    std::atomic<int> m_ownerWaiting{0};
    bool m_closed = false;
};

} // namespace vesk
