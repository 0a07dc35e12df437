#include "pane/DesktopOpening.h"

#include "platform/Log.h"
#include "store/VeskStore.h"

#include <QPointer>
#include <QProcess>

namespace vesk {

namespace {

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

DesktopOpener systemDesktopOpener()
{
    return [](const QUrl& url, OpenRefused refusedLater) {
        // Not owned by anything that quits with Vesk: xdg-open may wait for the application it
        // started, and ending Vesk must not end that application.
        auto* process = new QProcess;
        process->setProgram(QStringLiteral("xdg-open"));
        process->setArguments({url.isLocalFile() ? url.toLocalFile() : QString::fromUtf8(url.toEncoded())});
        process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(process, &QProcess::finished, process,
                         [process, url, refusedLater](int exitCode, QProcess::ExitStatus status) {
                             const QString said = QString::fromLocal8Bit(process->readAll().left(400)).trimmed();
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
