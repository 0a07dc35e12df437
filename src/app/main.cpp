// Vesk: a personal memory library kept on this computer.
#include "app/AboutViews.h"
#include "app/SingleInstance.h"
#include "app/StartupProbe.h"
#include "app/VeskApp.h"
#include "platform/AppPaths.h"
#include "platform/SystemMemory.h"
#include "platform/ui/VeskAlert.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>

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
        box->exec();
        return 1;
    }
    case vesk::SingleInstance::Outcome::Primary:
        break;
    }

    vesk::VeskApp vesk(vesk::VeskApp::makeServices());
    QObject::connect(&instance, &vesk::SingleInstance::activationRequested, &vesk, &vesk::VeskApp::bringToFront);
    // Before the window shows: showing it may open an alert (a hot key that cannot be had) whose
    // own event loop already paints the window.
    vesk::StartupProbe::installIfRequested(vesk);
    vesk.show();
    return app.exec();
}
