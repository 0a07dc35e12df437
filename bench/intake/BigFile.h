#pragma once

#include <QString>

namespace vesk::bench {

// Writes a file of the given size once, filled with pseudo-random bytes (nothing compresses or
// deduplicates them), and flushes it to the disk; a later call finds it there. The benchmarks then read it from the same
// page cache as whatever they compare with.
void ensureFileOfSize(const QString& path, qint64 size);

} // namespace vesk::bench
