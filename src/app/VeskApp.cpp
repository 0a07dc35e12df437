#include "app/VeskApp.h"

#include "app/TextCaptureSheet.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QApplication>

namespace vesk {

VeskServices VeskApp::makeServices()
{
    return makeRealServices();
}

MainWindowHooks VeskApp::defaultHooks()
{
    return MainWindowHooks{};
}

VeskApp::VeskApp(VeskServices services, QObject* parent)
    : QObject(parent)
{
    services = services.completed();
    Theme::current().attachSettings(services.settings);
    IconMap::ensureFontLoaded();
    applyPalette();
    connect(&Theme::current(), &Theme::appearanceChanged, this, &VeskApp::applyPalette);

    const std::shared_ptr<Settings> settings = services.settings;
    m_store = std::make_unique<VeskStore>(std::move(services));
    m_mainWindow = std::make_unique<MainWindow>(*m_store, settings, defaultHooks());
    m_mainWindow->setSheetFactory(SheetFlag::TextCapture, makeTextCaptureSheet);
}

VeskApp::~VeskApp()
{
    // The window observes the store: it goes first.
    m_mainWindow.reset();
    m_store.reset();
}

void VeskApp::applyPalette()
{
    QApplication::setPalette(Theme::current().palette());
}

void VeskApp::show()
{
    m_mainWindow->resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    m_mainWindow->show();
}

} // namespace vesk
