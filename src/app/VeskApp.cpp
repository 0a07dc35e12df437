#include "app/VeskApp.h"

#include "app/ClipboardCapture.h"
#include "app/LibrarySheets.h"
#include "app/SecureCaptureSheet.h"
#include "app/TextCaptureSheet.h"
#include "people/PeopleWindow.h"
#include "platform/Settings.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "timelineview/TimelineSheet.h"
#include "timelineview/VeskPersonTimelineView.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

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
    m_settings = settings;
    // Closing the last window ends the application: its place is kept then.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &VeskApp::saveWindowGeometry);
    m_store = std::make_unique<VeskStore>(std::move(services));
    m_summonKey = std::make_unique<VeskHotKey>();
    m_clipboardKey = std::make_unique<VeskClipboardHotKey>();
    m_mainWindow = std::make_unique<MainWindow>(*m_store, settings, makeHooks());
    m_store->holdStartupReading();
    connect(m_mainWindow.get(), &MainWindow::firstFrameDrawn, m_store.get(), &VeskStore::releaseStartupReading);
    m_summonKey->setMainWindow(m_mainWindow.get());
    m_keys = std::make_unique<KeyboardCommands>(*m_mainWindow, m_quickLook);
    m_mainWindow->setSheetFactory(SheetFlag::TextCapture, makeTextCaptureSheet);
    m_mainWindow->setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
    m_mainWindow->setSheetFactory(SheetFlag::AboutVesk, [](MainWindow& window) { return new VeskAboutCard(&window); });
    installLibrarySheets(*m_mainWindow);
    m_mainWindow->setSheetFactory(SheetFlag::FaceClusterInspector, [](MainWindow& window) {
        return new VeskFaceClusterInspector(window.store(), &window);
    });
    m_timelineMedia = std::make_shared<VeskTimelineMediaCache>();
    m_mainWindow->setSheetFactory(SheetFlag::PersonTimeline, [media = m_timelineMedia](MainWindow& window) {
        return makePersonTimelineView(window.store(), media, &window);
    });

    m_aboutWindow = std::make_unique<AboutWindowController>([] { return Theme::current().appearanceRawValue(); });
    // Linux desktops have no application menu to hold "About Vesk"; the window offers it on F1,
    // the key desktops use for help.
    auto* about = new QAction(QStringLiteral("About Vesk"), m_mainWindow.get());
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::ApplicationShortcut);
    connect(about, &QAction::triggered, this, &VeskApp::showAboutWindow);
    m_mainWindow->addAction(about);
    // The desktop's standard Quit key (Control+Q) ends Vesk the way a quit request from the system
    // does: unsaved items get their last try and question first.
    auto* quitAction = new QAction(QStringLiteral("Quit Vesk"), m_mainWindow.get());
    // A platform theme that knows no Quit key (none under a bare X server) still gets the Linux one.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (quitKeys.isEmpty())
        quitKeys = {QKeySequence(Qt::CTRL | Qt::Key_Q)};
    quitAction->setShortcuts(quitKeys);
    quitAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(quitAction, &QAction::triggered, this, &VeskApp::quit, Qt::QueuedConnection);
    m_mainWindow->addAction(quitAction);
}

void VeskApp::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    // Every window, the main one among them, closes as its close button closes it; the main
    // window may stay open when the user keeps it for items not yet written.
    QApplication::closeAllWindows();
    m_quitting = false;
    if (m_mainWindow->isVisible())
        return;
    m_quitRequested = true;
    QCoreApplication::quit();
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
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(applicationStyleSheet(Theme::current()));
}

QRect restoredWindowGeometry(const QRect& stored, const QList<QRect>& screens, QSize minimum, QSize fallback)
{
    QRect available;
    for (const QRect& screen : screens)
        if (screen.intersects(stored))
            available = available.isNull() ? screen : available;
    if (!stored.isValid() || available.isNull()) {
        // Nothing stored, or the screen it was on is gone: the default size on the first screen.
        const QRect first = screens.isEmpty() ? QRect(QPoint(0, 0), fallback) : screens.first();
        QRect placed(QPoint(0, 0), fallback.boundedTo(first.size()).expandedTo(minimum));
        placed.moveCenter(first.center());
        return placed;
    }
    QSize size = stored.size().boundedTo(available.size()).expandedTo(minimum);
    QRect placed(stored.topLeft(), size);
    // Pulled fully onto the screen it was mostly on.
    if (placed.right() > available.right())
        placed.moveRight(available.right());
    if (placed.bottom() > available.bottom())
        placed.moveBottom(available.bottom());
    if (placed.left() < available.left())
        placed.moveLeft(available.left());
    if (placed.top() < available.top())
        placed.moveTop(available.top());
    return placed;
}

void VeskApp::show()
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QRect stored = m_settings ? m_settings->value(kWindowGeometryKey).toRect() : QRect();
    m_mainWindow->setGeometry(restoredWindowGeometry(stored, screens,
                                                     QSize(MainWindow::minimumWidth, MainWindow::minimumHeight),
                                                     QSize(MainWindow::defaultWidth, MainWindow::defaultHeight)));
    m_mainWindow->show();
    m_wasShown = true;
}

void VeskApp::saveWindowGeometry()
{
    if (m_settings && m_mainWindow && m_wasShown)
        m_settings->setValue(kWindowGeometryKey, m_mainWindow->geometry());
}

void VeskApp::bringToFront()
{
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    else
        m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

} // namespace vesk
