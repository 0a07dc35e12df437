#include "app/VeskApp.h"

#include "app/TextCaptureSheet.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QAction>
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
    m_mainWindow->setSheetFactory(SheetFlag::AboutVesk, [](MainWindow& window) { return new VeskAboutCard(&window); });

    m_aboutWindow = std::make_unique<AboutWindowController>([] { return Theme::current().appearanceRawValue(); });
    // Linux desktops have no application menu to hold "About Vesk"; the window offers it on F1,
    // the key desktops use for help.
    auto* about = new QAction(QStringLiteral("About Vesk"), m_mainWindow.get());
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::ApplicationShortcut);
    connect(about, &QAction::triggered, this, &VeskApp::showAboutWindow);
    m_mainWindow->addAction(about);
}

void VeskApp::showAboutWindow()
{
    m_aboutWindow->open();
}

VeskApp::~VeskApp()
{
    // The window observes the store: it goes first.
    m_aboutWindow.reset();
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
