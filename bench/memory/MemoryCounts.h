#pragma once
// What the memory benchmarks count of their own process, and the window they count it in: the
// main window over a copy of a generated library, started and settled.

#include "common/RunningWindow.h"
#include "platform/Expected.h"

#include <QString>

#include <memory>

namespace vesk::bench {

// Longer than the window waits for a quiet moment before it hands free memory back and lets go of
// its caches (two seconds): counts are taken as a user who stopped for a moment finds them.
constexpr int kQuietMs = 3000;

double residentMiB();
// VmHWM: the process's peak resident size so far.
double peakMiB();

// One count of the process's memory: the resident size as the user sees it, the same after the
// allocator handed back its free pages (which tells memory held from memory merely not returned),
// and, from the allocator, the bytes in use and the bytes it keeps free inside its heaps.
struct MemoryCount {
    double residentMiB = 0;
    double trimmedMiB = 0; // 0 when not trimmed
    double heapInUseMiB = 0;
    double heapFreeMiB = 0;
};
// With trim, the allocator hands back its free pages after the count: a later count then finds
// the growth since this one, not what the allocator had not yet handed back, but no longer what
// the user would see.
MemoryCount countMemory(bool trim);

// The number of rounds of use: VESK_MEMORY_ROUNDS when set (two at least), else fallback.
int memoryRounds(int fallback);

// A copy of the generated library of count items in the run's folder (captures write into it).
Expected<QString, QString> copiedLibrary(int count);

// The window over folder once start-up has finished, search is ready and the resident size has
// stayed within 1 % over a rest: what start-up still does in the background on a busy machine
// (card thumbnails, the near-duplicate index, the dictionary) is over before the first count.
std::unique_ptr<RunningWindow> settledWindow(const QString& folder);

// Waits, in rests of kQuietMs, until the resident size stays within 1 % over one (two minutes at
// most).
void settleMemory();

} // namespace vesk::bench
