#pragma once

#include <QRunnable>
#include <QThreadPool>

#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define VESK_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VESK_THREAD_SANITIZER 1
#endif
#endif

#ifdef VESK_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace vesk {

// Qt's pools, futures and event queues hand work and results from thread to thread through
// futexes and atomics inside the Qt libraries, which the thread sanitizer does not watch: to it,
// a job posted on one thread and run on another shares memory with its poster without any order.
// Our hand-offs say so themselves: the posting thread releases an address once what it hands over
// is written, and the receiving thread acquires it before it reads any of it. Outside a thread
// sanitizer build all of this is nothing.

// Everything this thread wrote before is visible to a thread that takes over address afterwards.
inline void handOff([[maybe_unused]] const void* address)
{
#ifdef VESK_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(address));
#endif
}

// Sees everything written before a hand-off of address.
inline void takeOver([[maybe_unused]] const void* address)
{
#ifdef VESK_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(address));
#endif
}

#ifdef VESK_THREAD_SANITIZER

namespace detail {

// A callable carried to another thread inside Qt (a QtConcurrent task, a queued call): each copy
// takes over its source before reading it and hands itself off once made, and a call takes over
// the copy it runs on, wherever Qt moved it to.
template <typename Function>
class HandedOffBox {
public:
    explicit HandedOffBox(Function function)
        : m_function(std::move(function))
    {
        handOff(this);
    }
    HandedOffBox(HandedOffBox&& other)
        : m_function((takeOver(&other), std::move(other.m_function)))
    {
        // The source changed too, and is destroyed wherever Qt keeps it.
        handOff(&other);
        handOff(this);
    }
    HandedOffBox(const HandedOffBox& other)
        : m_function((takeOver(&other), other.m_function))
    {
        handOff(this);
    }
    HandedOffBox& operator=(const HandedOffBox&) = delete;
    HandedOffBox& operator=(HandedOffBox&&) = delete;
    ~HandedOffBox() { takeOver(this); }

protected:
    Function m_function;
};

// The call has the exact signature of the lambda's, as QtConcurrent and QFuture look at it to
// tell a task that takes a QPromise, or a continuation that takes the QFuture, from the others.
template <typename Function, typename Call = decltype(&Function::operator())>
class HandedOffCall;

template <typename Function, typename Class, typename Result, typename... Arguments>
class HandedOffCall<Function, Result (Class::*)(Arguments...) const> : public HandedOffBox<Function> {
public:
    using HandedOffBox<Function>::HandedOffBox;
    Result operator()(Arguments... arguments) const
    {
        takeOver(this);
        return this->m_function(std::forward<Arguments>(arguments)...);
    }
};

template <typename Function, typename Class, typename Result, typename... Arguments>
class HandedOffCall<Function, Result (Class::*)(Arguments...)> : public HandedOffBox<Function> {
public:
    using HandedOffBox<Function>::HandedOffBox;
    Result operator()(Arguments... arguments)
    {
        takeOver(this);
        return this->m_function(std::forward<Arguments>(arguments)...);
    }
};

// A pool job that takes itself over before it reads anything of its own.
template <typename Work>
class HandedOffRunnable final : public QRunnable {
public:
    explicit HandedOffRunnable(Work work)
        : m_work(std::move(work))
    {
        handOff(this);
    }
    void run() override
    {
        takeOver(this);
        m_work();
    }

private:
    Work m_work;
};

} // namespace detail

// The callable to hand to QtConcurrent or to a queued call instead of function itself.
template <typename Function>
detail::HandedOffCall<std::decay_t<Function>> handedOff(Function&& function)
{
    return detail::HandedOffCall<std::decay_t<Function>>(std::forward<Function>(function));
}

// pool.start(work), with work taken over by the thread that runs it.
template <typename Work>
void startHandedOff(QThreadPool& pool, Work&& work)
{
    pool.start(new detail::HandedOffRunnable<std::decay_t<Work>>(std::forward<Work>(work)));
}

#else

template <typename Function>
Function&& handedOff(Function&& function) noexcept
{
    return std::forward<Function>(function);
}

template <typename Work>
void startHandedOff(QThreadPool& pool, Work&& work)
{
    pool.start(std::forward<Work>(work));
}

#endif

} // namespace vesk
