#include "app/VeskApp.h"

#include "app/TextCaptureSheet.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "preview/ImageCaches.h"
#include "store/VeskStore.h"

#include <QApplication>

namespace vesk {

VeskServices VeskApp::makeServices()
{
    VeskServices services = VeskServices::defaults();
    installImageCaches(services);
    return services;
}

ContentViewHooks VeskApp::defaultHooks()
{
    return ContentViewHooks{};
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
    m_mainWindow = std::make_unique<ContentView>(*m_store, settings, defaultHooks());
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
    m_mainWindow->resize(ContentView::defaultWidth, ContentView::defaultHeight);
    m_mainWindow->show();
}

} // namespace vesk
