#pragma once
// Faults as a user's machine meets them, for the store tests: a file or folder that cannot be
// written, a disk that fills up or runs out of inodes, a read-only disk, damage inside the
// library file.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

namespace vesk::test {

// Makes a file or folder unwritable for as long as it lives. An ordinary user gets read-only
// permissions; root, whom permissions do not stop, gets the file system's immutable flag.
class UnwritableGuard {
public:
    explicit UnwritableGuard(const QString& path) : m_path(QFile::encodeName(path))
    {
        struct stat status {};
        if (::stat(m_path.constData(), &status) != 0)
            return;
        m_mode = status.st_mode;
        if (::geteuid() != 0) {
            m_active = ::chmod(m_path.constData(), S_ISDIR(status.st_mode) ? 0555 : 0444) == 0;
            return;
        }
        m_active = setImmutable(true);
    }
    ~UnwritableGuard() { release(); }
    UnwritableGuard(const UnwritableGuard&) = delete;
    UnwritableGuard& operator=(const UnwritableGuard&) = delete;

    // False when the file system offers no way to make it unwritable (the test then skips).
    bool active() const { return m_active; }
    void release()
    {
        if (!m_active)
            return;
        if (::geteuid() != 0)
            ::chmod(m_path.constData(), m_mode & 07777);
        else
            setImmutable(false);
        m_active = false;
    }

private:
    bool setImmutable(bool on)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QByteArray m_path;
    mode_t m_mode = 0;
    bool m_active = false;
};

// A disk that is full beyond a few bytes more: no file of this process may grow past limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        // The write fails with "File too large" instead of the signal ending the process.
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved {};
    void (*m_savedHandler)(int) = nullptr;
};

// A small disk of its own, mounted (a tmpfs) on a folder for as long as it lives: one that runs
// out of inodes before it runs out of room, or is mounted read-only. Only root may mount; for
// anyone else, or where root may not either, it is not active and says why (the test then skips).
class SmallDisk {
public:
    // options as mount(8) takes them for tmpfs ("size=4m,nr_inodes=64").
    SmallDisk(const QString& folder, const QByteArray& options) : m_folder(QFile::encodeName(folder))
    {
        if (::geteuid() != 0) {
            m_whyNot = "only root can mount a disk of its own";
            return;
        }
        m_active = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
        if (!m_active)
            m_whyNot = std::string("root could not mount a disk of its own here: ") + std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (m_active)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool active() const { return m_active; }
    // Why it is not active, for the test's skip.
    const std::string& whyNotActive() const { return m_whyNot; }
    // Mounts it again, read-only or writable, keeping what it holds.
    bool setReadOnly(bool readOnly)
    {
        return m_active
            && ::mount(nullptr, m_folder.constData(), nullptr,
                       MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }
    // Takes every inode that is left with empty files in a folder of its own; false when it could
    // not (the disk gave out for another reason).
    bool useUpInodes() const
    {
        const QByteArray folder = m_folder + "/.inodes";
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            return errno == ENOSPC;
        for (int i = 0;; ++i) {
            const QByteArray path = folder + '/' + QByteArray::number(i);
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0)
                return errno == ENOSPC;
            ::close(fd);
        }
    }

private:
    QByteArray m_folder;
    bool m_active = false;
    std::string m_whyNot;
};

inline QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// Overwrites length bytes at offset with a pattern no SQLite page holds.
inline bool damage(const QString& path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset))
        return false;
    return file.write(QByteArray(int(length), '\xA5')) == length;
}

namespace detail {
inline QList<qint64> integersOf(sqlite3* db, const char* sql)
{
    QList<qint64> values;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW)
            values.append(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
    return values;
}
} // namespace detail

// Overwrites count leaf pages of the item table's identifier index, taken from the middle of
// the file: pages that reading the library never visits, so that only a check of the whole file
// finds them. False when the index has fewer leaves.
inline bool damagePagesReadingNeverVisits(const QString& path, int count)
{
    sqlite3* db = nullptr;
    QList<qint64> pages, pageSize;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        pages = detail::integersOf(db, "SELECT pageno FROM dbstat WHERE name = 'sqlite_autoindex_vesks_1' "
                                       "AND pagetype = 'leaf' ORDER BY pageno;");
        pageSize = detail::integersOf(db, "PRAGMA page_size;");
    }
    sqlite3_close_v2(db);
    if (pages.size() < count + 2 || pageSize.size() != 1)
        return false;
    const qsizetype first = (pages.size() - count) / 2;
    for (int i = 0; i < count; ++i) {
        if (!damage(path, (pages[first + i] - 1) * pageSize.first(), pageSize.first()))
            return false;
    }
    return true;
}

} // namespace vesk::test
