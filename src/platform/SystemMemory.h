#pragma once

#include <cstddef>

namespace vesk {

// Hands the pages the allocator keeps free back to the system, at once, on the calling thread.
// Memory freed on many threads stays with the allocator otherwise, and the process looks as large
// as at its busiest. Nothing where the C library has no such call.
void releaseFreeMemory();

// Asks for 2 MiB pages under the whole 2 MiB pages of [start, start + bytes): a block of tens of
// megabytes fresh from the system then costs one fault per 2 MiB instead of one per 4 KiB when it
// is first written. Smaller blocks are left as they are.
void preferLargePages(void* start, size_t bytes);

} // namespace vesk
