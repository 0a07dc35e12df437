#include "pane/DesktopOpening.h"

#include "platform/Log.h"
#include "store/VeskStore.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

namespace vesk {

namespace {

// How much of what xdg-open complained of goes into the log line of a refused open.
constexpr qint64 kErrorSliceBytes = 400;

// A file in memory that keeps the first kErrorSliceBytes written to it and refuses the rest: the
// application xdg-open runs may write to its error output for hours, and whatever it writes there
// costs neither Vesk's memory nor the disk. A write past the end fails as a write to a full disk
// does, which a program's error output shrugs off.
class ErrorSlice {
public:
    ErrorSlice()
    {
        const int fd = ::memfd_create("vesk-open-errors", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0)
            return;
        if (::ftruncate(fd, kErrorSliceBytes) != 0
            || ::fcntl(fd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0) {
            ::close(fd);
            return;
        }
        m_fd = fd;
    }
    ~ErrorSlice() { close(); }
    ErrorSlice(const ErrorSlice&) = delete;
    ErrorSlice& operator=(const ErrorSlice&) = delete;

    int descriptor() const { return m_fd; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // What was written so far; the file's unwritten rest reads as zeros.
    QString said() const
    {
        if (m_fd < 0)
            return {};
        QByteArray bytes(kErrorSliceBytes, '\0');
        const ssize_t count = ::pread(m_fd, bytes.data(), size_t(bytes.size()), 0);
        if (count <= 0)
            return {};
        bytes.truncate(count);
        const qsizetype end = bytes.indexOf('\0');
        if (end >= 0)
            bytes.truncate(end);
        return QString::fromLocal8Bit(bytes).trimmed();
    }

private:
    int m_fd = -1;
};

QString noApplication(const QUrl& url)
{
    return url.isLocalFile() ? QStringLiteral("Vesk couldn't open this file: no application is set up to open it.")
                             : QStringLiteral("Vesk couldn't open this link: no application is set up to open it.");
}

} // namespace

QString xdgOpenRefusal(const QUrl& url, int exitCode)
{
    // xdg-open's exit codes: 1 bad arguments, 2 no such file, 3 no tool or handler for it ("no
    // method available"), 4 the opening application failed.
    switch (exitCode) {
    case 0:
        return {};
    case 2:
        return url.isLocalFile() ? QStringLiteral("Vesk couldn't open this file: it is no longer where Vesk keeps it.")
                                 : noApplication(url);
    case 4:
        return url.isLocalFile() ? QStringLiteral("Vesk couldn't open this file: the application set up to open it failed.")
                                 : QStringLiteral("Vesk couldn't open this link: the application set up to open it failed.");
    default:
        return noApplication(url);
    }
}

DesktopOpener systemDesktopOpener(int verdictWithinMs)
{
    return [verdictWithinMs](const QUrl& url, OpenRefused refusedLater) {
        // Not owned by anything that quits with Vesk: xdg-open may wait for the application it
        // started, and ending Vesk must not end that application.
        auto* process = new QProcess;
        process->setProgram(QStringLiteral("xdg-open"));
        process->setArguments({url.isLocalFile() ? url.toLocalFile() : QString::fromUtf8(url.toEncoded())});
        // The application xdg-open runs in the foreground inherits both outputs and may write to
        // them for hours. A pipe from Vesk would hold all of it in Vesk's memory until it exits,
        // and break under it (SIGPIPE) once Vesk quits. What it says goes nowhere; of what it
        // complains, only the beginning is kept, in memory of its own.
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        auto errors = std::make_shared<ErrorSlice>();
        if (const int slice = errors->descriptor(); slice >= 0) {
            // In the child, after its outputs are set up and before xdg-open runs.
            process->setChildProcessModifier([slice] { (void)::dup2(slice, STDERR_FILENO); });
        }
        const auto errorSlice = [errors] { return errors->said(); };
        // Only what xdg-open says within a few seconds is its verdict: it fails at once when it
        // finds nothing to open with, and an application it still waits for after that has
        // opened the file. Its exit hours later, however it ends, says nothing of the open.
        auto* verdictTime = new QTimer(process);
        verdictTime->setSingleShot(true);
        verdictTime->setInterval(verdictWithinMs);
        QObject::connect(verdictTime, &QTimer::timeout, process, [process, errors] {
            QObject::disconnect(process, &QProcess::finished, nullptr, nullptr);
            QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
            errors->close();
        });
        QObject::connect(process, &QProcess::finished, process,
                         [process, url, refusedLater, errorSlice](int exitCode, QProcess::ExitStatus status) {
                             const QString said = errorSlice();
                             process->deleteLater();
                             const QString refusal = status == QProcess::CrashExit ? noApplication(url)
                                                                                   : xdgOpenRefusal(url, exitCode);
                             if (refusal.isEmpty())
                                 return;
                             veskLog(QStringLiteral("Vesk open error for ") + url.toDisplayString(QUrl::PreferLocalFile)
                                     + QStringLiteral(": xdg-open exited with ") + QString::number(exitCode)
                                     + (said.isEmpty() ? QString() : QStringLiteral(", ") + said));
                             if (refusedLater)
                                 refusedLater(refusal);
                         });
        QObject::connect(process, &QProcess::errorOccurred, process, [process, url, refusedLater](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            process->deleteLater();
            veskLog(QStringLiteral("Vesk open error for ") + url.toDisplayString(QUrl::PreferLocalFile)
                    + QStringLiteral(": xdg-open could not be started"));
            if (refusedLater)
                refusedLater(noApplication(url));
        });
        process->start();
        verdictTime->start();
        return true;
    };
}

bool openOrReport(VeskStore& store, const DesktopOpener& open, const QUrl& url)
{
    QPointer<VeskStore> guarded(&store);
    auto report = [guarded](const QString& reason) {
        if (guarded)
            guarded->reportFailure(QStringLiteral("Not opened"), reason);
    };
    if (open && open(url, report))
        return true;
    veskLog(QStringLiteral("Vesk open error for ") + url.toDisplayString(QUrl::PreferLocalFile)
            + QStringLiteral(": no application opened it"));
    report(noApplication(url));
    return false;
}

} // namespace vesk
