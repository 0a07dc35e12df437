#pragma once

#include <atomic>
#include <memory>

namespace vesk {

// A shared flag a task checks at the points where it may stop. Copies share the flag, so the
// owner keeps one copy to cancel and hands the other to the task.
class CancellationToken {
public:
    CancellationToken() : m_flag(std::make_shared<std::atomic<bool>>(false)) {}
    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<bool>> m_flag;
};

} // namespace vesk
