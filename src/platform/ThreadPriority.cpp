#include "platform/ThreadPriority.h"

#include <QThreadPool>

#include <algorithm>
#include <latch>
#include <memory>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vesk {

namespace {
constexpr int kBackgroundNice = 10;
}

void makeCurrentThreadBackground()
{
    thread_local bool done = false;
    if (done)
        return;
    done = true;
    // Linux keeps a nice value per thread; the thread's own id names just this thread. A refusal
    // leaves the thread as it was, which is only slower for the window, never wrong.
    (void)setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), kBackgroundNice);
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
