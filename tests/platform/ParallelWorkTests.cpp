#include "platform/ParallelWork.h"

#include "platform/KernelSchedulingAttributes.h"
#include "platform/ThreadPriority.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <map>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk {
namespace {

TEST(ParallelWork, SortGivesStdSortsOrderAndChunksCoverEveryIndexOnce)
{
    QRandomGenerator random(3);
    for (const size_t count : {size_t(0), size_t(5), size_t(20'000), size_t(100'003)}) {
        std::vector<std::pair<int, int>> values;
        for (size_t i = 0; i < count; ++i)
            values.emplace_back(int(random.bounded(500)), int(i));
        std::vector<std::pair<int, int>> expected = values;
        std::sort(expected.begin(), expected.end());
        sortInParallel(values, std::less<>());
        EXPECT_EQ(values, expected) << count;

        std::vector<std::atomic<int>> visits(count);
        forChunksInParallel(count, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                ++visits[i];
        }, 1000);
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(visits[i].load(), 1) << i;
    }
}

// The window's thread calls in while the pool may be busy with long jobs: it must do the work
// itself rather than sleep until a pool thread comes free.
TEST(ParallelWork, TheCallerDoesEveryItemWhenThePoolIsBusyAndNestedCallsFinish)
{
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    QSemaphore release;
    QSemaphore started;
    pool.start([&] {
        started.release();
        release.acquire();
    });
    started.acquire();
    const pid_t caller = pid_t(syscall(SYS_gettid));
    std::vector<pid_t> doneBy(50);
    forEachInParallel(doneBy.size(), [&](size_t i) { doneBy[i] = pid_t(syscall(SYS_gettid)); }, &pool);
    for (const pid_t thread : doneBy)
        EXPECT_EQ(thread, caller);
    // The helper queued for the busy thread finds nothing left once it starts, and touches
    // nothing of the finished call.
    release.release();
    pool.waitForDone();

    // Calls from inside pool work, with every pool thread taken by one, still finish.
    QThreadPool small;
    small.setMaxThreadCount(2);
    std::atomic<int> calls = 0;
    forEachInParallel(4, [&](size_t) {
        forEachInParallel(100, [&](size_t) { ++calls; }, &small);
    }, &small);
    EXPECT_EQ(calls.load(), 400);
    for (const size_t count : {size_t(0), size_t(1), size_t(2), size_t(1000)}) {
        std::vector<std::atomic<int>> visits(count);
        forEachInParallel(count, [&](size_t i) { ++visits[i]; }, &small);
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(visits[i].load(), 1) << count << " " << i;
    }
}

} // namespace

TEST(ThreadPriority, EveryThreadOfALoweredPoolRunsItsWorkInTheBackground)
{
    QThreadPool pool;
    pool.setMaxThreadCount(3);
    makePoolThreadsBackground(pool);
    const pid_t caller = pid_t(syscall(SYS_gettid));
    const int normal = getpriority(PRIO_PROCESS, id_t(caller));
    // Enough work at once to need every thread; each says at which priority it ran.
    std::mutex lock;
    std::map<pid_t, int> priorityByThread;
    std::vector<int> jobs(64);
    QtConcurrent::blockingMap(&pool, jobs, [&](int&) {
        const pid_t thread = pid_t(syscall(SYS_gettid));
        const int priority = getpriority(PRIO_PROCESS, id_t(thread));
        usleep(2000);
        const std::lock_guard guard(lock);
        priorityByThread[thread] = priority;
    });
    // The caller may take a share of the work, and is left as it was.
    priorityByThread.erase(caller);
    EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(caller)), normal);
    EXPECT_GE(priorityByThread.size(), 2u);
    for (const auto& [thread, priority] : priorityByThread)
        EXPECT_EQ(priority, backgroundNiceBelow(normal)) << "thread " << thread;
    // A thread started later would run at normal priority: none of them expires.
    EXPECT_EQ(pool.expiryTimeout(), -1);
}

// A background thread asks for a short slice, and asking for it keeps the thread lowered: the
// same call sets the nice value again, and a wrong one would put the thread back beside the window.
TEST(ThreadPriority, ABackgroundThreadTakesAShorterSliceThanTheWindowAndStaysLowered)
{
    auto attributesOf = [](pid_t thread) {
        KernelSchedulingAttributes attributes;
        const long read = syscall(SYS_sched_getattr, thread, &attributes, unsigned(sizeof(attributes)), 0u);
        EXPECT_EQ(read, 0) << "errno " << errno;
        return attributes;
    };
    const pid_t caller = pid_t(syscall(SYS_gettid));
    const int normal = getpriority(PRIO_PROCESS, id_t(caller));
    const std::uint64_t callerSlice = attributesOf(caller).runtime;
    KernelSchedulingAttributes lowered;
    int priority = 0;
    std::thread([&] {
        makeCurrentThreadBackground();
        const pid_t self = pid_t(syscall(SYS_gettid));
        priority = getpriority(PRIO_PROCESS, id_t(self));
        lowered = attributesOf(self);
    }).join();
    EXPECT_EQ(priority, backgroundNiceBelow(normal));
    EXPECT_EQ(lowered.nice, priority);
    if (callerSlice == 0 && lowered.runtime == 0)
        GTEST_SKIP() << "this kernel keeps no slice of a thread's own";
    EXPECT_GT(lowered.runtime, 0u);
    EXPECT_LT(lowered.runtime, callerSlice);
}

// A pool thread takes the priority of the thread that makes it: a pool first used by a lowered
// worker would run the window's work lowered, unless its threads were made beforehand.
TEST(ThreadPriority, AKeptPoolRunsAtTheKeepersPriorityWhoeverUsesItLater)
{
    const int normal = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
    auto priorityOfWorkFrom = [](QThreadPool& pool) {
        int priority = 0;
        std::thread([&] {
            makeCurrentThreadBackground();
            // Waited for with a semaphore: a future's wait would run a task not yet started itself.
            QSemaphore done;
            pool.start([&] {
                priority = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
                done.release();
            });
            done.acquire();
        }).join();
        return priority;
    };
    QThreadPool made;
    made.setMaxThreadCount(1);
    EXPECT_EQ(priorityOfWorkFrom(made), backgroundNiceBelow(normal)) << "a thread made by a lowered thread is lowered";

    QThreadPool kept;
    kept.setMaxThreadCount(2);
    keepPoolThreadsAtCallersPriority(kept);
    EXPECT_EQ(priorityOfWorkFrom(kept), normal);
    EXPECT_EQ(kept.expiryTimeout(), -1);
}

// Work a background worker splits (a search pass) is work the window does not wait for: helpers
// at the window's priority would take the cores from the window and from the painting it waits
// for. Each split runs at its caller's priority on every thread that takes part.
TEST(ThreadPriority, WorkSplitByACallerRunsAtItsPriorityOnEveryThreadTakingPart)
{
    // As the application does from its window's thread.
    WorkPools::shared().keepForegroundThreadsAtCallersPriority();
    const int normal = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
    const auto prioritiesOfSplitWork = [] {
        std::mutex lock;
        std::condition_variable joined;
        std::map<pid_t, int> priorityByThread;
        forEachInParallel(8, [&](size_t) {
            const pid_t thread = pid_t(syscall(SYS_gettid));
            std::unique_lock guard(lock);
            priorityByThread[thread] = getpriority(PRIO_PROCESS, id_t(thread));
            joined.notify_all();
            // Until a second thread takes part, however quickly the first would take every item.
            joined.wait_for(guard, std::chrono::seconds(10), [&] { return priorityByThread.size() > 1; });
        });
        return priorityByThread;
    };
    const struct {
        bool background;
        int expected;
    } callers[] = {{false, normal}, {true, backgroundNiceBelow(normal)}};
    for (const auto& caller : callers) {
        std::map<pid_t, int> priorities;
        std::thread([&] {
            if (caller.background)
                makeCurrentThreadBackground();
            priorities = prioritiesOfSplitWork();
        }).join();
        EXPECT_GE(priorities.size(), 2u) << caller.background;
        for (const auto& [thread, priority] : priorities)
            EXPECT_EQ(priority, caller.expected) << "background caller " << caller.background << ", thread " << thread;
    }
}

// Started with nice, the window keeps the processor before its background: a fixed background
// value would be above a window at nice 12 (where the system lets the process raise a thread, as
// for root). Each window priority runs in a child process, whose first thread is its window.
TEST(ThreadPriority, TheBackgroundStaysBelowAWindowStartedWithNice)
{
    const int normal = getpriority(PRIO_PROCESS, id_t(getpid()));
    for (const int windowNice : {5, 12, 19}) {
        if (windowNice < normal)
            continue;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setpriority(PRIO_PROCESS, id_t(getpid()), windowNice) != 0)
                _exit(2);
            int priority = 0;
            std::thread([&] {
                makeCurrentThreadBackground();
                priority = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
            }).join();
            _exit(priority == std::min(19, windowNice + 10) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "window at nice " << windowNice;
    }
}

} // namespace vesk
