#include "platform/SystemMemory.h"

#include <cstdint>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vesk {

void releaseFreeMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void configureAllocator()
{
#if defined(__GLIBC__)
    // Two held the least after a while of use; workers that allocate at once share the second.
    (void)mallopt(M_ARENA_MAX, 2);
    // The allocator's own starting bound; setting it keeps it from rising.
    (void)mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void preferLargePages(void* start, size_t bytes)
{
#if defined(__linux__)
    constexpr uintptr_t kLargePage = uintptr_t(2) << 20;
    if (bytes < 4 * kLargePage)
        return;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kLargePage - 1);
    if (last > first)
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)start;
    (void)bytes;
#endif
}

void dropMappedPages(const void* start, size_t bytes)
{
#if defined(__linux__)
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(start) + bytes;
    if (bytes > 0)
        (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
#else
    (void)start;
    (void)bytes;
#endif
}

} // namespace vesk
