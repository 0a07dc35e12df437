#pragma once

#include <cstddef>

namespace vesk {

// Hands the pages the allocator keeps free back to the system, at once, on the calling thread.
// Memory freed on many threads stays with the allocator otherwise, and the process looks as large
// as at its busiest. Nothing where the C library has no such call.
void releaseFreeMemory();

// Lets the allocator keep only a couple of heaps for all threads, where it would otherwise open
// one for nearly every thread that allocates (up to eight per core). Each heap keeps its own
// scraps of what the threads freed, which no release hands back: a window used for a while held
// tens of megabytes more that way.
//
// And blocks of more than a few hundred kilobytes (a search's lists over the library, start-up's
// buffers) get pages of their own from the system, given back as soon as they are freed. The
// allocator would otherwise raise that bound to the largest block freed so far and take such
// blocks from its heaps, where what is freed stays with the process until a quiet moment: a
// search typed without a pause kept a hundred megabytes more by the time it ended.
//
// Called first thing at start, before threads are made.
void configureAllocator();

// Asks for 2 MiB pages under the whole 2 MiB pages of [start, start + bytes): a block of tens of
// megabytes fresh from the system then costs one fault per 2 MiB instead of one per 4 KiB when it
// is first written. Smaller blocks are left as they are.
void preferLargePages(void* start, size_t bytes);

// Lets the system take back the pages of a read-only mapping of a file that were read: they
// stay in its file cache and are mapped again from there, without reading the file, when next
// touched. Nothing where there is no such call.
void dropMappedPages(const void* start, size_t bytes);

} // namespace vesk
