#include "intake/PipelinedCopy.h"

#include "intake/ManagedStorage.h"

#include <openssl/evp.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

// Large enough that a write carries a good share of what the disk takes at once, small enough
// that the ring stays a few megabytes.
constexpr size_t kSlotBytes = size_t(2) << 20;
constexpr size_t kSlots = 4;
// Direct writes need their buffer, offset and length aligned to the file system's block; every
// full buffer starts at a multiple of kSlotBytes, and the buffers are aligned more than any
// block size a disk reports.
constexpr size_t kBufferAlignment = size_t(64) << 10;
constexpr size_t kDirectBlock = 4096;
constexpr off_t kWritebackStep = off_t(16) << 20;

IoFailure readError(int code)
{
    return IoFailure::reading(code);
}

IoFailure writeError(int code)
{
    return IoFailure::writing(code);
}

struct FreeDeleter {
    void operator()(char* data) const { std::free(data); }
};

class Pipeline {
public:
    explicit Pipeline(const PipelinedCopyRequest& request) : m_request(request)
    {
        for (auto& slot : m_slots)
            slot.data.reset(static_cast<char*>(std::aligned_alloc(kBufferAlignment, kSlotBytes)));
        m_direct = request.uncached && setDirect(true);
    }

    Expected<void, IoFailure> run()
    {
        for (const auto& slot : m_slots) {
            if (!slot.data)
                return unexpected(writeError(ENOMEM));
        }
        std::thread writer([this] { consume(m_written, [this](const Slot& slot) { return write(slot); }); });
        std::thread hasher;
        if (m_request.digest)
            hasher = std::thread([this] { consume(m_hashed, [this](const Slot& slot) { return hash(slot); }); });

        std::optional<IoFailure> stopped = readAll();
        {
            std::lock_guard lock(m_mutex);
            if (stopped)
                m_stop = true;
            m_readDone = true;
        }
        m_changed.notify_all();
        writer.join();
        if (hasher.joinable())
            hasher.join();
        report();

        if (m_failure)
            return unexpected(*m_failure);
        if (stopped)
            return unexpected(*stopped);
        return {};
    }

private:
    struct Slot {
        std::unique_ptr<char, FreeDeleter> data;
        size_t size = 0;
    };

    // Fills one slot after another until the end of the source; the text of what stopped it
    // early (a read error or a cancel), or none at the end.
    std::optional<IoFailure> readAll()
    {
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_failure || m_read - oldestUnfinished() < kSlots; });
                if (m_failure)
                    return std::nullopt; // the consumer's failure is what is said
            }
            report();
            if (m_request.cancelled && m_request.cancelled())
                return managedCopyCancelled();
            Slot& slot = m_slots[m_read % kSlots];
            size_t filled = 0;
            while (filled < kSlotBytes) {
                const ssize_t count = ::read(m_request.in, slot.data.get() + filled, kSlotBytes - filled);
                if (count < 0) {
                    if (errno == EINTR)
                        continue;
                    return readError(errno);
                }
                if (count == 0)
                    break;
                filled += size_t(count);
            }
            if (filled == 0)
                return std::nullopt;
            {
                std::lock_guard lock(m_mutex);
                slot.size = filled;
                ++m_read;
            }
            m_changed.notify_all();
            if (filled < kSlotBytes)
                return std::nullopt; // the end of the file
        }
    }

    // The first slot some consumer still needs; only slots before it may be refilled.
    quint64 oldestUnfinished() const { return m_request.digest ? std::min(m_written, m_hashed) : m_written; }

    // Takes the slots in order, counting them in done, until the reader is finished and every
    // slot is taken, or the copy stops.
    template <typename Work>
    void consume(quint64& done, Work work)
    {
        for (;;) {
            const Slot* slot = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || done < m_read || m_readDone; });
                if (m_stop || done == m_read)
                    return;
                slot = &m_slots[done % kSlots];
            }
            std::optional<IoFailure> failure = work(*slot);
            {
                std::lock_guard lock(m_mutex);
                ++done;
                if (failure && !m_failure) {
                    m_failure = std::move(failure);
                    m_stop = true;
                }
            }
            m_changed.notify_all();
        }
    }

    std::optional<IoFailure> hash(const Slot& slot)
    {
        if (EVP_DigestUpdate(m_request.digest, slot.data.get(), slot.size) != 1)
            return IoFailure::other(QStringLiteral("the file could not be hashed"));
        return std::nullopt;
    }

    std::optional<IoFailure> write(const Slot& slot)
    {
        const char* data = slot.data.get();
        size_t left = slot.size;
        while (left > 0) {
            // The end of the file rarely fills a whole block: its aligned part goes straight to
            // the disk, the rest through the page cache.
            size_t piece = left;
            if (m_direct && left % kDirectBlock != 0) {
                piece = left - left % kDirectBlock;
                if (piece == 0) {
                    if (!setDirect(false))
                        return writeError(errno);
                    m_direct = false;
                    continue;
                }
            }
            const ssize_t count = ::write(m_request.out, data, piece);
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                // Some file systems take the flag but refuse the write: nothing was written,
                // and the same bytes go through the page cache.
                if (errno == EINVAL && m_direct && setDirect(false)) {
                    m_direct = false;
                    continue;
                }
                return writeError(errno);
            }
            // A short direct write leaves the next one unaligned; what remains goes through
            // the page cache, which reports a full disk as it is met.
            if (size_t(count) < piece && m_direct) {
                if (!setDirect(false))
                    return writeError(errno);
                m_direct = false;
            }
            data += count;
            left -= size_t(count);
            m_writtenBytes.fetch_add(count, std::memory_order_relaxed);
        }
        if (!m_direct)
            startWriteback(m_request.out, m_writebackStart, off_t(m_writtenBytes.load(std::memory_order_relaxed)));
        return std::nullopt;
    }

    bool setDirect(bool on)
    {
        const int flags = ::fcntl(m_request.out, F_GETFL);
        if (flags < 0)
            return false;
        return ::fcntl(m_request.out, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
    }

    // Progress is said on the calling thread, in the bytes the writer has finished.
    void report()
    {
        const qint64 written = m_writtenBytes.load(std::memory_order_relaxed);
        if (written > m_reported && m_request.advance)
            m_request.advance(written - m_reported);
        m_reported = written;
    }

    const PipelinedCopyRequest& m_request;
    Slot m_slots[kSlots];
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Slots read, written and hashed so far, counted from the start of the copy.
    quint64 m_read = 0;
    quint64 m_written = 0;
    quint64 m_hashed = 0;
    bool m_readDone = false;
    bool m_stop = false;
    std::optional<IoFailure> m_failure;
    // The writer's own.
    bool m_direct = false;
    off_t m_writebackStart = 0;
    std::atomic<qint64> m_writtenBytes{0};
    // The reader's own.
    qint64 m_reported = 0;
};

} // namespace

void startWriteback(int out, off_t& flushed, off_t written)
{
    if (written - flushed < kWritebackStep)
        return;
    ::sync_file_range(out, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
    flushed = written;
}

Expected<void, IoFailure> pipelinedCopy(const PipelinedCopyRequest& request)
{
    return Pipeline(request).run();
}

} // namespace vesk
