#include "BenchTemp.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk::bench {

namespace {

constexpr const char* kPrefix = "vesk-bench-";

// The run folder's path for the signal handler, which may not allocate.
char runFolderPath[4096] = {};

void removeRunFolderNow()
{
    if (runFolderPath[0] == '\0')
        return;
    // Only async-signal-safe calls: the removal runs as a child process. Workers may still be
    // writing into the folder (thumbnails, copies) while it goes: a few tries.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const pid_t child = fork();
        if (child == 0) {
            char rm[] = "rm";
            char flags[] = "-rf";
            char* const arguments[] = {rm, flags, runFolderPath, nullptr};
            execv("/bin/rm", arguments);
            _exit(127);
        }
        if (child < 0)
            return;
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return;
    }
}

void onSignal(int signal)
{
    removeRunFolderNow();
    // Ends as the signal would have ended the process.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void atExit()
{
    if (runFolderPath[0] != '\0')
        QDir(QFile::decodeName(runFolderPath)).removeRecursively();
}

bool processExists(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

} // namespace

int removeStaleBenchFolders()
{
    static const QRegularExpression name(QStringLiteral("^vesk-bench-(\\d+)-[A-Za-z0-9]{6}$"));
    QDir temp(QDir::tempPath());
    int removed = 0;
    const QStringList entries =
        temp.entryList({QString::fromLatin1(kPrefix) + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch() || processExists(match.captured(1).toLongLong()))
            continue;
        if (QDir(temp.filePath(entry)).removeRecursively())
            ++removed;
    }
    return removed;
}

QString benchRunFolder()
{
    static const QString folder = [] {
        removeStaleBenchFolders();
        QTemporaryDir made(QDir::temp().filePath(
            QString::fromLatin1(kPrefix) + QString::number(qint64(::getpid())) + QStringLiteral("-XXXXXX")));
        if (!made.isValid())
            qFatal("cannot make a temporary folder in %s", qPrintable(QDir::tempPath()));
        made.setAutoRemove(false);
        const QByteArray path = QFile::encodeName(made.path());
        if (size_t(path.size()) >= sizeof(runFolderPath))
            qFatal("temporary folder path too long");
        std::memcpy(runFolderPath, path.constData(), size_t(path.size()) + 1);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(signal, onSignal);
        std::atexit(atExit);
        return made.path();
    }();
    return folder;
}

QString benchTempTemplate(const QString& name)
{
    return QDir(benchRunFolder()).filePath(name + QStringLiteral("-XXXXXX"));
}

} // namespace vesk::bench
