#pragma once
// Internal to src/intake/: the copy loop of large and hashed managed copies.

#include "platform/Expected.h"
#include "platform/IoFailure.h"

#include <QString>
#include <functional>
#include <sys/types.h>

#include <openssl/types.h>

namespace vesk {

struct PipelinedCopyRequest {
    int in = -1;
    int out = -1;
    // Given, it is fed the very buffers that are written, in order.
    EVP_MD_CTX* digest = nullptr;
    // Write straight from the buffers to the disk rather than through the page cache. Where
    // the file system refuses, the copy goes on through the page cache.
    bool uncached = false;
    // Asked between buffers; true stops the copy with managedCopyCancelled().
    std::function<bool()> cancelled;
    // Bytes newly written, called on the calling thread.
    std::function<void(qint64)> advance;
};

// Copies every byte from in (from its offset to its end) to out. The calling thread reads; a
// thread of its own writes, and another hashes, each taking a small ring of buffers in the order
// they were read: a large file costs about the slowest of reading, hashing and writing rather
// than their sum, and a fixed amount of memory whatever its size. Returns when every buffer read
// has been written and hashed, or on the first failure (reading or writing), with both threads
// finished. Leaves flushing and removing the copy to the caller.
Expected<void, IoFailure> pipelinedCopy(const PipelinedCopyRequest& request);

// Through the page cache, asks the disk every so often to start writing what was copied so far,
// without waiting for it: the flush at the end finds little left to do, and a large copy never
// piles up gigabytes of dirty pages. flushed is where the last request ended.
void startWriteback(int out, off_t& flushed, off_t written);

} // namespace vesk
