#include "pane/DesktopOpening.h"

#include "platform/Log.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <memory>

namespace vesk {

namespace {

// How much of what xdg-open complained of goes into the log line of a refused open.
constexpr qint64 kErrorSliceBytes = 400;

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
        // and break under it (SIGPIPE) once Vesk quits. What it says goes nowhere; what it
        // complains of goes to a file nobody else sees, gone with the last writer, of which only
        // the beginning is ever read.
        process->setStandardOutputFile(QProcess::nullDevice());
        auto errors = std::make_shared<QTemporaryFile>(QDir(QDir::tempPath()).filePath(QStringLiteral("vesk-open-XXXXXX")));
        if (errors->open())
            process->setStandardErrorFile(errors->fileName());
        else
            process->setStandardErrorFile(QProcess::nullDevice());
        const auto errorSlice = [errors] {
            if (!errors->isOpen() || !errors->seek(0))
                return QString();
            return QString::fromLocal8Bit(errors->read(kErrorSliceBytes)).trimmed();
        };
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
        // The child holds its own descriptor of the file now; its name is not needed any more.
        if (errors->isOpen())
            (void)errors->remove();
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
