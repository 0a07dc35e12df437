// Vesk: a personal memory library kept on this computer.
#include "app/AboutViews.h"
#include "app/VeskApp.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv)
{
    // Playback through FFmpeg: the same decoders as thumbnails and moment export, on every desktop.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesk"));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(vesk::appIconImage(256))));

    vesk::VeskApp vesk(vesk::VeskApp::makeServices());
    vesk.show();
    return app.exec();
}
