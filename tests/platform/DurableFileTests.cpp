#include "common/TestEnvironment.h"
#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The process's umask and fsync as the code under test meets them: this binary's own definitions
// stand in front of the C library's, so a test can see the umask change under another thread and
// make the disk refuse a flush. Unarmed, both pass straight through.
namespace {

std::atomic<bool> g_watchUmask{false};
std::atomic<bool> g_failFileSync{false};
std::atomic<bool> g_failFolderSync{false};
QByteArray g_strangerPath;
std::vector<mode_t> g_strangerModes;

mode_t realUmask(mode_t mask)
{
    static const auto real = reinterpret_cast<mode_t (*)(mode_t)>(::dlsym(RTLD_NEXT, "umask"));
    return real(mask);
}

int realFsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

// Another thread of the process makes a file (a thumbnail, an import's copy) at this moment.
mode_t strangerFileMode()
{
    mode_t mode = 0;
    std::thread other([&mode] {
        ::unlink(g_strangerPath.constData());
        const int fd = ::open(g_strangerPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        struct stat status {};
        if (fd >= 0 && ::fstat(fd, &status) == 0)
            mode = status.st_mode & 07777;
        if (fd >= 0)
            ::close(fd);
    });
    other.join();
    return mode;
}

} // namespace

extern "C" mode_t umask(mode_t mask) noexcept
{
    const mode_t previous = realUmask(mask);
    if (g_watchUmask)
        g_strangerModes.push_back(strangerFileMode());
    return previous;
}

extern "C" int fsync(int fd)
{
    struct stat status {};
    const bool folder = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    if ((folder && g_failFolderSync) || (!folder && g_failFileSync)) {
        errno = EIO;
        return -1;
    }
    return realFsync(fd);
}

using namespace vesk;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

TEST(DurableFile, FilesGetTheUmasksModeAndOtherThreadsFilesKeepIt)
{
    struct Case {
        mode_t processMask;
        mode_t expected;
    };
    const Case cases[] = {{022, 0644}, {077, 0600}, {002, 0664}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.processMask);
        const QString folder = test::makeTempDirectory(QStringLiteral("durable-mode"));
        g_strangerPath = QFile::encodeName(folder + QStringLiteral("/stranger"));
        g_strangerModes.clear();
        const mode_t saved = realUmask(c.processMask);
        g_watchUmask = true;
        const auto written = writeFileDurably(folder + QStringLiteral("/kept.png"), "picture");
        g_watchUmask = false;
        const mode_t after = realUmask(saved);

        ASSERT_TRUE(written) << qPrintable(written.error().reason.logText());
        EXPECT_EQ(modeOf(folder + QStringLiteral("/kept.png")), c.expected);
        EXPECT_EQ(after, c.processMask);
        // Whatever another thread made meanwhile got the process's mask, never 0666.
        for (const mode_t stranger : g_strangerModes)
            EXPECT_EQ(stranger, c.expected) << "another thread's file was made with mode 0" << std::oct << stranger;
    }
}

TEST(DurableFile, AFailedFlushSaysWhetherTheOldFileIsStillThere)
{
    struct Case {
        const char* name;
        std::atomic<bool>* failing;
        bool renamedIntoPlace;
        QByteArray left;
    };
    const Case cases[] = {
        {"the file's flush", &g_failFileSync, false, "old"},
        {"the folder's flush after the rename", &g_failFolderSync, true, "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = test::makeTempDirectory(QStringLiteral("durable-flush"));
        const QString path = test::writeFile(folder + QStringLiteral("/library.marker"), "old");
        *c.failing = true;
        const auto written = writeFileDurably(path, "new");
        *c.failing = false;

        ASSERT_FALSE(written);
        EXPECT_EQ(written.error().reason.code, EIO);
        EXPECT_EQ(written.error().renamedIntoPlace, c.renamedIntoPlace);
        EXPECT_EQ(contents(path), c.left);
        // No temporary file stays beside it.
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("library.marker")});
    }
}
