// Vesk: a personal memory library kept on this computer.
#include "app/AboutViews.h"
#include "app/SingleInstance.h"
#include "app/StartupProbe.h"
#include "app/VeskApp.h"
#include "platform/AppPaths.h"
#include "platform/ApplicationEnd.h"
#include "platform/QuitSignals.h"
#include "platform/SystemMemory.h"
#include "platform/ui/VeskAlert.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <memory>

int main(int argc, char** argv)
{
    vesk::configureAllocator();
    // Playback through FFmpeg: the same decoders as thumbnails and moment export, on every desktop.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesk"));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(vesk::appIconImage(256))));

    // Logout, shutdown and Ctrl+C end Vesk through its event loop, as its own close does. One
    // that comes before there is a window ends the start where it stands.
    vesk::QuitSignals quitSignals;
    bool quitBeforeWindow = false;
    const QMetaObject::Connection quitEarly = QObject::connect(&quitSignals, &vesk::QuitSignals::received, &app,
                                                               [&quitBeforeWindow] { quitBeforeWindow = true; });

    // One window per library: a second start brings the running one forward and leaves.
    vesk::SingleInstance instance(vesk::AppPaths::dataDirectory());
    switch (instance.claim()) {
    case vesk::SingleInstance::Outcome::HandedOver:
        return 0;
    case vesk::SingleInstance::Outcome::Failed: {
        std::unique_ptr<QMessageBox> box(vesk::makeVeskAlert(QStringLiteral("Vesk cannot open its library."),
                                                             instance.failureReason(), vesk::AlertSymbol::Warning));
        box->setWindowTitle(QStringLiteral("Vesk"));
        vesk::addAlertButton(box.get(), QStringLiteral("OK"), QMessageBox::AcceptRole);
        QObject::connect(&quitSignals, &vesk::QuitSignals::received, box.get(), &QMessageBox::reject);
        box->exec();
        return 1;
    }
    case vesk::SingleInstance::Outcome::Primary:
        break;
    }

    // Gone before the pools' jobs are waited for at the end, and those before the application.
    auto running = std::make_unique<vesk::VeskApp>(vesk::VeskApp::makeServices());
    vesk::VeskApp& vesk = *running;
    QObject::disconnect(quitEarly);
    if (quitBeforeWindow)
        return vesk::endApplication(std::move(running), 0);
    QObject::connect(&quitSignals, &vesk::QuitSignals::received, &vesk, &vesk::VeskApp::quit);
    QObject::connect(&instance, &vesk::SingleInstance::activationRequested, &vesk, &vesk::VeskApp::bringToFront);
    // Before the window shows: showing it may open an alert (a hot key that cannot be had) whose
    // own event loop already paints the window.
    vesk::StartupProbe::installIfRequested(vesk);
    vesk.show();
    // Asked to end while showing waited on an alert, before the application's own loop ran: it
    // ends as soon as that loop begins.
    if (vesk.quitRequested())
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return vesk::runApplicationToItsEnd(std::move(running));
}
