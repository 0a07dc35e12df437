#include "MemoryCounts.h"

#include "common/BenchTemp.h"
#include "common/ProcessMemory.h"
#include "LibraryGenerator.h"
#include "store/VeskStore.h"

#include <QDir>

#include <malloc.h>

#include <algorithm>
#include <cmath>

namespace vesk::bench {

double residentMiB()
{
    return double(statusKilobytes("VmRSS:")) / 1024.0;
}

double peakMiB()
{
    return double(statusKilobytes("VmHWM:")) / 1024.0;
}

MemoryCount countMemory(bool trim)
{
    MemoryCount count;
    count.residentMiB = residentMiB();
    const struct mallinfo2 heap = mallinfo2();
    count.heapInUseMiB = double(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
    count.heapFreeMiB = double(heap.fordblks) / (1024.0 * 1024.0);
    if (trim) {
        malloc_trim(0);
        count.trimmedMiB = residentMiB();
    }
    return count;
}

int memoryRounds(int fallback)
{
    return qEnvironmentVariableIsEmpty("VESK_MEMORY_ROUNDS")
        ? fallback
        : std::max(2, qEnvironmentVariableIntValue("VESK_MEMORY_ROUNDS"));
}

Expected<QString, QString> copiedLibrary(int count)
{
    const auto generated = cachedGeneratedLibrary(count);
    if (!generated)
        return unexpected(generated.error());
    const QString folder = QDir(benchRunFolder()).filePath(QStringLiteral("library-%1").arg(count));
    if (auto copied = copyLibraryDatabase(*generated, folder); !copied)
        return unexpected(copied.error());
    return folder;
}

void settleMemory()
{
    for (double before = residentMiB(), waited = 0; waited < 120'000; waited += kQuietMs) {
        settle(kQuietMs);
        const double now = residentMiB();
        if (std::abs(now - before) < before / 100)
            break;
        before = now;
    }
}

std::unique_ptr<RunningWindow> settledWindow(const QString& folder)
{
    auto running = std::make_unique<RunningWindow>(folder, 3000);
    // Started means searchable: on a busy machine the index may still be building when the rest
    // of start-up has ended, and its memory would otherwise count as growth under use.
    while (!running->store().searchReady())
        settle(50);
    settleMemory();
    return running;
}

} // namespace vesk::bench
