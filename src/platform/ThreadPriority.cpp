#include "platform/ThreadPriority.h"

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

} // namespace vesk
