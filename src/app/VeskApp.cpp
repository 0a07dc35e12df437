#include "app/VeskApp.h"

#include "app/ClipboardCapture.h"
#include "app/SecureCaptureSheet.h"
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

MainWindowHooks VeskApp::makeHooks()
{
    MainWindowHooks hooks;
    hooks.startSummonHotKey = [this] { m_summonKey->start(); };
    hooks.startClipboardHotKey = [this] { m_clipboardKey->start(); };
    hooks.captureClipboard = [](VeskStore& store) { (void)captureClipboard(store); };
    hooks.closeQuickLook = [this] { m_quickLook.close(); };
    hooks.handleKeyDown = [this](QKeyEvent* event) { return m_keys && m_keys->handleKeyDown(event); };
    return hooks;
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
    m_summonKey = std::make_unique<VeskHotKey>();
    m_clipboardKey = std::make_unique<VeskClipboardHotKey>();
    m_mainWindow = std::make_unique<MainWindow>(*m_store, settings, makeHooks());
    m_summonKey->setMainWindow(m_mainWindow.get());
    m_keys = std::make_unique<KeyboardCommands>(*m_mainWindow, m_quickLook);
    m_mainWindow->setSheetFactory(SheetFlag::TextCapture, makeTextCaptureSheet);
    m_mainWindow->setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
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
    m_keys.reset();
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
