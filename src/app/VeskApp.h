#pragma once
// The application: owns the one store of the process for its whole life, binds the theme to the
// user defaults and brings up the main window (1400 by 820, no smaller than 1340 by 760).

#include "app/AboutViews.h"
#include "app/KeyboardCommands.h"
#include "app/MainWindow.h"
#include "app/QuickLookWindow.h"
#include "app/VeskClipboardHotKey.h"
#include "app/VeskHotKey.h"
#include "store/VeskServices.h"

#include <QObject>
#include <QRect>
#include <memory>

namespace vesk {

class VeskStore;
class Settings;
class VeskTimelineMediaCache;

// Where the main window opens: where it was, within the screens there are now, never smaller than
// its minimum; the default size centred on the first screen when nothing fits.
QRect restoredWindowGeometry(const QRect& stored, const QList<QRect>& screens, QSize minimum, QSize fallback);

class VeskApp : public QObject {
    Q_OBJECT
public:
    // The real services: clock, the INI user defaults, the data folder, and the shared caches.
    static VeskServices makeServices();

    explicit VeskApp(VeskServices services, QObject* parent = nullptr);
    ~VeskApp() override;

    VeskStore& store() const { return *m_store; }
    MainWindow& mainWindow() const { return *m_mainWindow; }

    // Shows the main window at its default size.
    void show();
    // The window's place and size are kept between runs, in the user defaults.
    static inline const QString kWindowGeometryKey = QStringLiteral("veskWindowGeometry");
    void saveWindowGeometry();
    // Another start asked for the window: shows it, restored and in front.
    void bringToFront();
    // Ends Vesk as closing its window does (a while for the imports still copying, a last try at
    // unsaved items, and the question when some still cannot be written or imported), then ends
    // the application; asked by the system's quit signals, as at logout. A request while one is
    // under way changes nothing.
    void quit();
    // Whether quit() closed the window and ended the application.
    bool quitRequested() const { return m_quitRequested; }
    // "About Vesk": opens the About window, or brings the open one forward.
    void showAboutWindow();
    AboutWindowController& aboutWindow() const { return *m_aboutWindow; }

    // The main window's hooks for the application: hot keys, clipboard, keyboard commands and
    // the quick preview.
    MainWindowHooks makeHooks();

    VeskHotKey& summonHotKey() const { return *m_summonKey; }
    VeskClipboardHotKey& clipboardHotKey() const { return *m_clipboardKey; }
    VeskQuickLookController& quickLook() { return m_quickLook; }

private:
    void applyPalette();

    std::shared_ptr<Settings> m_settings;
    bool m_wasShown = false;
    bool m_quitting = false;
    bool m_quitRequested = false;
    std::unique_ptr<VeskStore> m_store;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<AboutWindowController> m_aboutWindow;
    std::unique_ptr<VeskHotKey> m_summonKey;
    std::unique_ptr<VeskClipboardHotKey> m_clipboardKey;
    VeskQuickLookController m_quickLook;
    std::unique_ptr<KeyboardCommands> m_keys;
    // Photo dates and timeline previews, kept for the whole process and shared by every timeline
    // sheet and the photo-book exports they start.
    std::shared_ptr<VeskTimelineMediaCache> m_timelineMedia;
};

} // namespace vesk
