#include "intake/ManagedStorage.h"

#include "intake/FolderWalk.h"
#include "intake/PipelinedCopy.h"

#include "platform/FileBirthTime.h"
#include "platform/Log.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

constexpr size_t kCopyChunk = 1 << 20;

// A failure of the system's, on the side the bytes come from or the side they go to.
IoFailure readError(int code)
{
    return IoFailure::reading(code);
}

IoFailure writeError(int code)
{
    return IoFailure::writing(code);
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

Expected<void, IoFailure> makeFolders(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return {};
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) {
        if (auto made = makeFolders(parent); !made)
            return made;
    }
    if (::mkdir(native(folder).constData(), 0755) != 0 && errno != EEXIST)
        return unexpected(writeError(errno));
    return {};
}

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports a failed close: for a written file that can be a lost write.
    int close()
    {
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }
    void reset() { close(); }

private:
    int m_fd;
};

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

// What one copy run shares: its options and the bytes written so far across every file.
struct CopyRun {
    const ManagedCopyOptions& options;
    qint64 written = 0;

    bool cancelled() const { return options.cancel && options.cancel->isCancelled(); }
    void advance(qint64 bytes)
    {
        written += bytes;
        if (options.progress)
            options.progress(written);
    }
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Copies every byte from in to out through one buffer.
Expected<void, IoFailure> streamBytes(int in, int out, CopyRun& run)
{
    std::vector<char> buffer(kCopyChunk);
    off_t written = 0;
    off_t flushed = 0;
    for (;;) {
        if (run.cancelled())
            return unexpected(managedCopyCancelled());
        const ssize_t count = ::read(in, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return unexpected(readError(errno));
        }
        if (count == 0)
            return {};
        if (!writeAll(out, buffer.data(), size_t(count)))
            return unexpected(writeError(errno));
        run.advance(count);
        written += count;
        startWriteback(out, flushed, written);
    }
}

// Copies in the kernel when it can (no trip through our memory), a slice at a time so that a
// cancel is seen; else through a buffer.
Expected<void, IoFailure> copyBytes(int in, int out, CopyRun& run)
{
    constexpr size_t kSlice = size_t(64) << 20;
    off_t written = 0;
    off_t flushed = 0;
    for (;;) {
        if (run.cancelled())
            return unexpected(managedCopyCancelled());
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kSlice, 0);
        if (copied > 0) {
            run.advance(copied);
            written += copied;
            startWriteback(out, flushed, written);
            continue;
        }
        if (copied == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF
            || errno == ETXTBSY)
            return streamBytes(in, out, run); // both offsets stand where the kernel stopped
        // Both files are open: what the kernel refuses now is almost always the writing (a full disk).
        return unexpected(writeError(errno));
    }
}

// The bytes a regular file really holds: a file with holes (made by truncate or a seek past its
// end) takes less than its size, and its copy need not take more.
qint64 dataBytesOf(const struct stat& info)
{
    return std::min(qint64(info.st_size), qint64(info.st_blocks) * 512);
}

bool hasHoles(const struct stat& info)
{
    return dataBytesOf(info) < qint64(info.st_size);
}

// Copies a file with holes: only its data is read and written, each hole is left a hole in the
// copy, and the digest is fed the zeros a hole reads as, so that the hash is the file's own.
Expected<void, IoFailure> copyKeepingHoles(int in, int out, off_t size, EVP_MD_CTX* digest, CopyRun& run)
{
    std::vector<char> buffer(kCopyChunk);
    const std::vector<char> zeros(digest ? kCopyChunk : 0, '\0');
    off_t written = 0;
    off_t flushed = 0;
    for (off_t at = 0; at < size;) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO)
                return unexpected(readError(errno));
            data = size; // nothing but a hole to the end
        }
        data = std::min(data, size);
        for (off_t hole = at; hole < data;) {
            if (run.cancelled())
                return unexpected(managedCopyCancelled());
            const size_t piece = size_t(std::min<off_t>(off_t(kCopyChunk), data - hole));
            if (digest && EVP_DigestUpdate(digest, zeros.data(), piece) != 1)
                return unexpected(IoFailure::other(QStringLiteral("the file could not be hashed")));
            hole += off_t(piece);
            run.advance(qint64(piece));
        }
        if (data >= size)
            break;
        off_t end = ::lseek(in, data, SEEK_HOLE);
        if (end < 0)
            return unexpected(readError(errno));
        end = std::min(end, size);
        for (off_t position = data; position < end;) {
            if (run.cancelled())
                return unexpected(managedCopyCancelled());
            const ssize_t count = ::pread(in, buffer.data(), size_t(std::min<off_t>(off_t(kCopyChunk), end - position)), position);
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                return unexpected(readError(errno));
            }
            if (count == 0) {
                end = position; // the file was cut short meanwhile
                break;
            }
            for (ssize_t done = 0; done < count;) {
                const ssize_t put = ::pwrite(out, buffer.data() + done, size_t(count - done), position + done);
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    return unexpected(writeError(errno));
                }
                done += put;
            }
            if (digest && EVP_DigestUpdate(digest, buffer.data(), size_t(count)) != 1)
                return unexpected(IoFailure::other(QStringLiteral("the file could not be hashed")));
            position += count;
            written += count;
            run.advance(count);
            startWriteback(out, flushed, written);
        }
        at = end;
    }
    // A hole at the end is made by the size alone.
    if (::ftruncate(out, size) != 0)
        return unexpected(writeError(errno));
    return {};
}

Expected<void, IoFailure> keepTimes(const struct stat& sourceStat, const QByteArray& destination)
{
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    if (::utimensat(AT_FDCWD, destination.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return unexpected(writeError(errno));
    return {};
}

bool syncNativeDirectory(const QByteArray& path)
{
    Descriptor folder(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return false;
    return ::fsync(folder.get()) == 0;
}

// Times the caller gives the copy itself, or that the copy takes from its source.
enum class SourceTimes { Kept, LeftToCaller };

// Writes destination afresh (it must not exist) with the bytes of the regular file source,
// flushed to the disk before it is closed. With a digest, hashes while copying.
Expected<qint64, IoFailure> copyRegularFile(const QByteArray& source, const QByteArray& destination,
                                            EVP_MD_CTX* digest, CopyRun& run, SourceTimes times = SourceTimes::Kept)
{
    // Opening without blocking keeps a named pipe from stalling the copy.
    Descriptor in(::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return unexpected(readError(errno));
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        return unexpected(readError(errno));
    if (!S_ISREG(sourceStat.st_mode))
        return unexpected(IoFailure::other(QStringLiteral("not a regular file")));
    ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    Descriptor out(::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return unexpected(writeError(errno));
    const qint64 before = run.written;
    // A large copy is written past the page cache: the disk takes the buffers as they are, with
    // no second copy into memory the system must find, fill and later write back; and gigabytes
    // the user is unlikely to read again soon do not push out what the system had cached.
    const bool uncached = qint64(sourceStat.st_size) >= run.options.uncachedFromBytes;
    Expected<void, IoFailure> copied;
    if (!digest && (uncached || hasHoles(sourceStat)) && ::ioctl(out.get(), FICLONE, in.get()) == 0) {
        // A file system that shares blocks between files (Btrfs, XFS) makes the copy at once and
        // without a byte moved; nothing needs reading when nothing is hashed.
        run.advance(qint64(sourceStat.st_size));
    } else if (hasHoles(sourceStat)) {
        // Written out whole, a few bytes with gigabytes of holes would fill the disk.
        copied = copyKeepingHoles(in.get(), out.get(), sourceStat.st_size, digest, run);
    } else if (digest || uncached) {
        PipelinedCopyRequest request;
        request.in = in.get();
        request.out = out.get();
        request.digest = digest;
        request.uncached = uncached;
        request.cancelled = [&run] { return run.cancelled(); };
        request.advance = [&run](qint64 bytes) { run.advance(bytes); };
        copied = pipelinedCopy(request);
    } else {
        copied = copyBytes(in.get(), out.get(), run);
    }
    // A cancel that came while the last buffers were written still leaves nothing behind.
    if (copied && run.cancelled())
        copied = unexpected(managedCopyCancelled());
    // On the disk before it may be renamed into place and named by a row.
    if (copied && ::fdatasync(out.get()) != 0)
        copied = unexpected(writeError(errno));
    if (copied && out.close() != 0)
        copied = unexpected(writeError(errno));
    if (copied && times == SourceTimes::Kept)
        copied = keepTimes(sourceStat, destination);
    if (!copied) {
        ::unlink(destination.constData());
        return unexpected(copied.error());
    }
    return run.written - before;
}

// Names in the folder, sorted; "." and ".." left out. Fails when the folder cannot be read, so
// that an unreadable folder never passes for an empty one.
Expected<QList<QByteArray>, IoFailure> folderEntryNames(const QByteArray& folder)
{
    DIR* handle = ::opendir(folder.constData());
    if (!handle)
        return unexpected(readError(errno));
    QList<QByteArray> names;
    errno = 0;
    while (const dirent* entry = ::readdir(handle)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(handle);
    if (readError != 0)
        return unexpected(IoFailure::reading(readError));
    std::sort(names.begin(), names.end());
    return names;
}

// Copies the folder source into the new folder destination with its files and subfolders.
// Symbolic links, pipes, sockets and devices inside it are left out; anything that cannot be
// read fails the whole copy rather than leaving a hole in it.
Expected<void, IoFailure> copyFolder(const QByteArray& source, const QByteArray& destination, CopyRun& run,
                                   SourceTimes times = SourceTimes::Kept)
{
    struct stat sourceStat {};
    if (::stat(source.constData(), &sourceStat) != 0)
        return unexpected(readError(errno));
    const auto names = folderEntryNames(source);
    if (!names)
        return unexpected(names.error().at(QFile::decodeName(source)));
    if (::mkdir(destination.constData(), 0755) != 0)
        return unexpected(writeError(errno));

    for (const QByteArray& name : names.value()) {
        if (run.cancelled())
            return unexpected(managedCopyCancelled());
        const QByteArray path = source + '/' + name;
        const QByteArray target = destination + '/' + name;
        struct stat entryStat {};
        if (::lstat(path.constData(), &entryStat) != 0)
            return unexpected(IoFailure::reading(errno, QFile::decodeName(path)));
        if (S_ISDIR(entryStat.st_mode)) {
            if (Expected<void, IoFailure> copied = copyFolder(path, target, run); !copied)
                return copied; // already names what failed inside
        } else if (S_ISREG(entryStat.st_mode)) {
            if (auto copied = copyRegularFile(path, target, nullptr, run); !copied) {
                if (copied.error() == managedCopyCancelled())
                    return unexpected(copied.error());
                return unexpected(copied.error().at(QFile::decodeName(path)));
            }
        }
    }
    if (times == SourceTimes::Kept) {
        if (Expected<void, IoFailure> kept = keepTimes(sourceStat, destination); !kept)
            return kept;
    }
    // The folder's own entries are on the disk too.
    if (!syncNativeDirectory(destination))
        return unexpected(writeError(errno));
    return {};
}

// What a copy takes of each entry: the data bytes of a regular file and one inode for
// each file and folder; links, pipes and devices are not copied.
struct CopyNeeds {
    qint64 bytes = 0;
    qint64 inodes = 0;
};

void addCopyNeeds(const struct stat& info, CopyNeeds& needs)
{
    if (S_ISREG(info.st_mode)) {
        needs.bytes += dataBytesOf(info);
        ++needs.inodes;
    } else if (S_ISDIR(info.st_mode)) {
        ++needs.inodes;
    }
}

QString byteCount(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// Refuses, before a byte is written, a copy that would not fit in folder with room to spare: a
// copy that runs the disk full fails anyway, after it took the room everything else needs.
Expected<void, IoFailure> checkRoomFor(const CopyNeeds& needs, const QString& folder)
{
    struct statvfs disk {};
    if (::statvfs(native(folder).constData(), &disk) != 0)
        return {}; // the copy itself will say what is wrong
    const qint64 unit = qint64(disk.f_frsize ? disk.f_frsize : disk.f_bsize);
    const qint64 free = qint64(disk.f_bavail) * unit;
    const qint64 needed = roomNeededForCopy(needs.bytes, qint64(disk.f_blocks) * unit);
    const auto full = [](const QString& detail) {
        IoFailure failure = writeError(ENOSPC);
        failure.text = detail;
        return unexpected(failure);
    };
    if (free < needed)
        return full(byteCount(needs.bytes) + QStringLiteral(" to copy and ") + byteCount(free) + QStringLiteral(" free"));
    // A file system that counts no inodes (f_files 0) has no such limit.
    if (disk.f_files > 0 && qint64(disk.f_favail) < needs.inodes + 1)
        return full(QString::number(needs.inodes) + QStringLiteral(" files to copy and ")
                    + QString::number(qint64(disk.f_favail)) + QStringLiteral(" more the disk can hold"));
    return {};
}

void removeStaging(const QString& staging)
{
    const QFileInfo info(staging);
    if (info.isDir() && !info.isSymLink())
        QDir(staging).removeRecursively();
    else
        QFile::remove(staging);
}

// A copy is born at the import, so the original's birth time is kept beside it. Where the source's
// file system keeps none, nothing is written; where the copy's refuses the attribute, the copy
// stays good and only the date is lost.
void recordOriginalCreation(const QByteArray& sourceNative, const QString& copy)
{
    const std::optional<QDateTime> born = fileBirthTime(sourceNative);
    if (born && !writeRecordedCreation(copy, *born))
        veskLog(QStringLiteral("Vesk could not record the creation date of ") + QFile::decodeName(sourceNative)
                + QStringLiteral(": ") + writeError(errno).logText());
}

} // namespace

QString managedItemsDirectoryIn(const QString& dataDirectory)
{
    return QDir::cleanPath(dataDirectory + QStringLiteral("/Items"));
}

QString managedStagingName()
{
    return QStringLiteral(".vesk-partial");
}

qint64 roomNeededForCopy(qint64 dataBytes, qint64 diskBytes)
{
    // A hundredth of the disk, at least a mebibyte and at most 256: the library's own files, and
    // everything else on the disk, still have somewhere to grow.
    const qint64 spare = std::clamp<qint64>(diskBytes / 100, qint64(1) << 20, qint64(256) << 20);
    return dataBytes + spare;
}

QString managedCopyCancelledText()
{
    return QStringLiteral("the import was cancelled");
}

IoFailure managedCopyCancelled()
{
    return IoFailure::other(managedCopyCancelledText());
}

std::optional<QString> relocatedManagedPath(const QString& storedPath, const QUuid& id, const QString& itemsDirectory)
{
    const QString items = QDir::cleanPath(itemsDirectory);
    // The common case costs no file-system call.
    if (storedPath.startsWith(items + QLatin1Char('/')))
        return std::nullopt;
    const QString marker = QStringLiteral("Items/") + uuidString(id) + QLatin1Char('/');
    const qsizetype at = storedPath.lastIndexOf(marker, -1, Qt::CaseInsensitive);
    if (at < 0 || (at > 0 && storedPath.at(at - 1) != QLatin1Char('/')))
        return std::nullopt;
    const QString candidate = items + QLatin1Char('/') + storedPath.mid(at + 6);
    if (QFileInfo::exists(storedPath) || !QFileInfo::exists(candidate))
        return std::nullopt;
    return QDir::cleanPath(candidate);
}

bool syncDirectory(const QString& path)
{
    return syncNativeDirectory(native(path));
}

Expected<ManagedCopy, IoFailure> copyIntoManagedStorage(const QByteArray& sourceNative, const QString& name,
                                                        const QString& itemsDirectory, const QUuid& id,
                                                        const ManagedCopyOptions& options)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')))
        return unexpected(IoFailure::other(QStringLiteral("the path names no file")));
    const QString items = QDir::cleanPath(itemsDirectory);
    const QString folder = items + QLatin1Char('/') + uuidString(id);
    const QString destination = folder + QLatin1Char('/') + name;

    struct stat sourceStat {};
    if (::stat(sourceNative.constData(), &sourceStat) != 0)
        return unexpected(readError(errno));

    const bool itemsExisted = QFileInfo(items).isDir();
    const bool folderExisted = QFileInfo(folder).isDir();
    if (auto made = makeFolders(folder); !made)
        return unexpected(made.error());
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
        return ManagedCopy{destination, std::nullopt, S_ISREG(sourceStat.st_mode) ? qint64(sourceStat.st_size) : -1};
    // A folder that holds the managed folder (the home folder, the data folder) would be copied
    // into itself, level after level, until the disk or the path length gives out.
    if (S_ISDIR(sourceStat.st_mode)) {
        const QString realSource = QFileInfo(QFile::decodeName(sourceNative)).canonicalFilePath();
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (!realSource.isEmpty() && realFolder.startsWith(realSource + QLatin1Char('/'))) {
            QDir().rmdir(folder);
            return unexpected(IoFailure::other(QStringLiteral("the folder holds the library's own storage")));
        }
    }

    CopyNeeds needs;
    addCopyNeeds(sourceStat, needs);
    // A folder that cannot be read is passed over here: the copy itself says why.
    if (S_ISDIR(sourceStat.st_mode))
        walkBelow(sourceNative, [&needs](const QByteArray&, const QByteArray&, const struct stat& info) { addCopyNeeds(info, needs); });
    if (Expected<void, IoFailure> room = checkRoomFor(needs, folder); !room) {
        if (!folderExisted)
            QDir().rmdir(folder);
        return unexpected(room.error());
    }

    // Build the copy under a temporary name and rename it into place, so that a copy cut short
    // (a full disk, an unreadable file, a cancel, a crash) never looks like a finished one. The
    // folder belongs to this item alone, so one fixed short name will do: one made from the
    // file's name would be too long for the file system when that name is near its limit.
    const QString staging = folder + QLatin1Char('/') + managedStagingName();
    removeStaging(staging);

    CopyRun run{options};
    Digest digest;
    if (options.hashContent && S_ISREG(sourceStat.st_mode)) {
        digest.reset(EVP_MD_CTX_new());
        if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1)
            return unexpected(IoFailure::other(QStringLiteral("the file could not be hashed")));
    }

    Expected<void, IoFailure> copied = {};
    qint64 size = -1;
    if (S_ISDIR(sourceStat.st_mode)) {
        copied = copyFolder(sourceNative, native(staging), run, SourceTimes::LeftToCaller);
    } else if (S_ISREG(sourceStat.st_mode)) {
        auto file = copyRegularFile(sourceNative, native(staging), digest.get(), run, SourceTimes::LeftToCaller);
        if (file)
            size = file.value();
        else
            copied = unexpected(file.error());
    } else {
        copied = unexpected(IoFailure::other(QStringLiteral("not a regular file or folder")));
    }
    if (copied)
        recordOriginalCreation(sourceNative, staging);
    if (copied && ::rename(native(staging).constData(), native(destination).constData()) != 0)
        copied = unexpected(writeError(errno));
    // The source's times go on the copy only once it is in place: an unfinished copy that carried
    // them would look like one an earlier run left behind, which the sweep of the Items folder
    // removes, under the copy's feet, when it looks meanwhile.
    if (copied) {
        copied = keepTimes(sourceStat, native(destination));
        if (!copied)
            removeStaging(destination);
    }
    // The rename itself, and a new item folder in "Items" (and a new "Items" in the data folder),
    // must reach the disk before a row names the copy.
    if (copied && !syncDirectory(folder))
        copied = unexpected(writeError(errno));
    if (copied && !folderExisted && !syncDirectory(items))
        copied = unexpected(writeError(errno));
    if (copied && !itemsExisted && !syncDirectory(QFileInfo(items).absolutePath()))
        copied = unexpected(writeError(errno));
    if (!copied) {
        removeStaging(staging);
        if (!folderExisted)
            QDir().rmdir(folder); // only when it is empty: an item folder we just made
        return unexpected(copied.error());
    }

    ManagedCopy result{destination, std::nullopt, size};
    if (digest) {
        unsigned char bytes[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(digest.get(), bytes, &length) == 1)
            result.sha256 = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), int(length)).toHex());
    }
    return result;
}

Expected<QString, IoFailure> copyIntoManagedStorage(const QString& source, const QString& itemsDirectory,
                                                    const QUuid& id)
{
    const QString cleanSource = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    auto copied = copyIntoManagedStorage(native(cleanSource), QFileInfo(cleanSource).fileName(), itemsDirectory, id);
    if (!copied)
        return unexpected(copied.error());
    return copied.value().path;
}

} // namespace vesk
