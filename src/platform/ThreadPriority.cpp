#include "platform/ThreadPriority.h"

#include "platform/KernelSchedulingAttributes.h"

#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <latch>
#include <memory>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vesk {

namespace {
constexpr int kBackgroundSteps = 10;
constexpr int kLowestPriorityNice = 19;

// Linux's scheduler since 6.6 runs a task it picks for a whole slice (3 ms by default) whatever
// its nice value: the main thread, woken or at the end of its own slice, then waited 3–6 ms for
// each background thread picked before it. A background thread asks for a short slice instead; its
// share of the processor is still set by its nice value. Kernels that know no slice of a task's own
// take the nice value alone.
constexpr std::uint64_t kBackgroundSliceNs = 500'000;

thread_local bool lowered = false;
} // namespace

bool currentThreadIsBackground()
{
    return lowered;
}

int backgroundNiceBelow(int windowNice)
{
    return std::min(kLowestPriorityNice, windowNice + kBackgroundSteps);
}

void makeCurrentThreadBackground()
{
    if (lowered)
        return;
    lowered = true;
    // Linux keeps a nice value per thread; the thread's own id names just this thread. A refusal
    // leaves the thread as it was, which is only slower for the window, never wrong.
    // The process' own id names its first thread, the window's. A fixed value would, in a Vesk
    // started with nice, put the background above the window where the system allows it.
    const auto thread = id_t(syscall(SYS_gettid));
    errno = 0;
    const int windowNice = getpriority(PRIO_PROCESS, id_t(getpid()));
    if (windowNice == -1 && errno != 0)
        return;
    const int nice = std::max(backgroundNiceBelow(windowNice), getpriority(PRIO_PROCESS, thread));
    (void)setpriority(PRIO_PROCESS, thread, nice);
    KernelSchedulingAttributes attributes;
    attributes.nice = nice;
    attributes.runtime = kBackgroundSliceNs;
    (void)syscall(SYS_sched_setattr, thread, &attributes, 0u);
}

void keepPoolThreadsAtCallersPriority(QThreadPool& pool)
{
    pool.setExpiryTimeout(-1);
    const int threads = std::max(1, pool.maxThreadCount());
    // Each task holds its thread until all have started, so that the pool makes every thread
    // it may have now, from here.
    auto started = std::make_shared<std::latch>(threads);
    for (int i = 0; i < threads; ++i)
        pool.start([started] { started->arrive_and_wait(); });
}

void makePoolThreadsBackground(QThreadPool& pool)
{
    pool.setExpiryTimeout(-1);
    const int threads = std::max(1, pool.maxThreadCount());
    // Each task holds its thread until all have started, so that every thread of the pool takes
    // exactly one of them.
    auto started = std::make_shared<std::latch>(threads);
    for (int i = 0; i < threads; ++i) {
        pool.start([started] {
            makeCurrentThreadBackground();
            started->arrive_and_wait();
        });
    }
}

} // namespace vesk
