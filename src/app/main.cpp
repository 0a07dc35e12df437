// Vesk: a personal memory library kept on this computer.
#include "app/VeskApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesk"));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));

    vesk::VeskApp vesk(vesk::VeskApp::makeServices());
    vesk.show();
    return app.exec();
}
