#pragma once
// The main window: its backdrop, the 96-point header, the switch between the empty-library drop
// zone and the library view, the floating intake and Bring Back notices, the drop target, the
// sheets presented from MainWindowState flags, and the reactions to its own appearance, to store
// changes and to the application's notifications.

#include "app/LibraryViewHost.h"
#include "app/MainWindowState.h"
#include "app/WindowBackdrop.h"
#include "app/WindowReactions.h"
#include "model/VeskNotices.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <memory>

class QDialog;
class QKeyEvent;
class QMimeData;
class QStackedWidget;
class QTimer;
class QVariantAnimation;

namespace vesk {

class VeskStore;
class HeaderBar;
class CaptureDropZone;
class ControlsStrip;
class VeskGuardedAppearanceSwitch;
class NoticeHost;
class LibraryMenus;
class FailureNoticeView;
class LibraryProblemView;
class ReadOnlyBanner;

// Collaborators that other work supplies; each may be left empty.
struct MainWindowHooks {
    // Started each time the window is shown; each starts only once however often it is called.
    std::function<void()> startSummonHotKey;
    std::function<void()> startClipboardHotKey;
    // Reads the clipboard into the store, for "Vesk.CaptureClipboard".
    std::function<void(VeskStore&)> captureClipboard;
    // Closes the Quick Look panel when the window goes away, without creating it.
    std::function<void()> closeQuickLook;
    // The grid's keyboard commands: sees every key press of the application while the window is
    // shown; true consumes the event.
    std::function<bool(QKeyEvent*)> handleKeyDown;
    // The library view's content (grid and preview column).
    LibraryContentFactory libraryContent;
    // The floating view of an intake notice.
    std::function<QWidget*(const VeskIntakeNotice&, QWidget* parent)> intakeNoticeView;
    // Opens a folder in the file manager (the library folder of a library that cannot be read).
    std::function<void(const QString& folder)> openFolder;
    // Asked when the window closes while items are still not written: true lets it close.
    std::function<bool(int unsavedCount)> confirmCloseWithUnsaved;
    // Asked when the window closes while imports are still copying after the wait for them
    // (their sources' names): true lets it close, and they are not imported.
    std::function<bool(const QStringList& unfinishedImports)> confirmCloseWithUnfinishedImports;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1400;
    static constexpr int defaultHeight = 820;
    static constexpr int minimumWidth = 1340;
    static constexpr int minimumHeight = 760;
    static constexpr int intakeNoticeTop = 84;
    static constexpr int bringBackNoticeTop = 132;
    static constexpr int failureNoticeTop = 180;
    static constexpr int noticeTrailing = 18;

    MainWindow(VeskStore& store, std::shared_ptr<Settings> settings, MainWindowHooks hooks = {},
                QWidget* parent = nullptr);
    ~MainWindow() override;

    VeskStore& store() const { return m_store; }
    MainWindowState& state() const { return *m_state; }
    HeaderBar* header() const { return m_header; }
    ControlsStrip* controlsStrip() const { return m_controlsStrip; }
    // The header's "Browse Groups" and "Library Actions" menus.
    LibraryMenus* libraryMenus() const { return m_libraryMenus; }
    VeskGuardedAppearanceSwitch* appearanceSwitch() const { return m_appearanceSwitch; }
    CaptureDropZone* dropZone() const { return m_dropZone; }
    LibraryViewHost* libraryView() const { return m_libraryView; }
    // The widget showing now: the drop zone while the library is empty, else the library view.
    QWidget* currentContent() const;
    // The floating notice views, none while the store holds no notice.
    QWidget* intakeNoticeView() const;
    QWidget* bringBackNoticeView() const;
    FailureNoticeView* failureNoticeView() const;
    // Shown instead of the library while the library cannot be used.
    LibraryProblemView* libraryProblemView() const { return m_problemView; }
    // The strip that says why nothing can be changed; none while the library takes changes.
    ReadOnlyBanner* readOnlyBanner() const { return m_readOnlyBanner; }

    void setTimings(const WindowTimings& timings) { m_timings = timings; }
    const WindowTimings& timings() const { return m_timings; }

    // A sheet for a flag: built when the flag becomes true, shown window-modal, and the flag is
    // cleared when it closes. A flag without a factory presents nothing and is cleared at once, and
    // the controls that would raise it are hidden (see MainWindowState::sheetAvailable).
    using SheetFactory = std::function<QDialog*(MainWindow& window)>;
    void setSheetFactory(SheetFlag flag, SheetFactory factory);
    QDialog* presentedSheet(SheetFlag flag) const;

    // Opens the text composer with an empty name and note, discarding an earlier draft.
    void openTextCapture();

    // Hands each dropped thing to one intake operation, each queued, and returns at once: true
    // when anything usable was dropped.
    bool handleDrop(const QMimeData& mime);

    // Reactions, public so they can be driven directly.
    void handleAppear();
    void handleDisappear();
    void handleSummonSearch();
    void handleCaptureClipboard();
    bool hasKeyboardMonitor() const { return m_keyboardMonitor != nullptr; }

    // 0 while the search text is empty, 1 while it is not; eases between them.
    qreal searchGlow() const { return m_searchGlow; }

signals:
    // Once, on the turn after the window's first frame was painted and handed to the screen.
    void firstFrameDrawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildSheets();
    void updateContentSwitch();
    void layoutChildren();
    // Pulses the card of an item that has just arrived.
    void pulseNewItem(const QUuid& id);
    void presentIntakeNotice();
    void presentBringBackNotice();
    void presentFailureNotice();
    void scheduleIntakeNoticeClear(const std::optional<VeskIntakeNotice>& notice);
    void scheduleBringBackNoticeClear(const std::optional<VeskBringBackNotice>& notice);
    void reactToSearchText();
    void presentSheet(SheetFlag flag);
    void dismissSheet(SheetFlag flag);
    bool sheetFlagValue(SheetFlag flag) const;
    void clearSheetFlag(SheetFlag flag);

    VeskStore& m_store;
    std::unique_ptr<MainWindowState> m_state;
    MainWindowHooks m_hooks;
    WindowTimings m_timings;

    HeaderBar* m_header = nullptr;
    ControlsStrip* m_controlsStrip = nullptr;
    LibraryMenus* m_libraryMenus = nullptr;
    VeskGuardedAppearanceSwitch* m_appearanceSwitch = nullptr;
    QStackedWidget* m_content = nullptr;
    CaptureDropZone* m_dropZone = nullptr;
    LibraryViewHost* m_libraryView = nullptr;
    LibraryProblemView* m_problemView = nullptr;
    ReadOnlyBanner* m_readOnlyBanner = nullptr;
    NoticeHost* m_intakeNotices = nullptr;
    NoticeHost* m_failureNotices = nullptr;
    NoticeHost* m_bringBackNotices = nullptr;
    QWidget* m_chrome = nullptr;

    std::unique_ptr<QObject> m_keyboardMonitor;
    QVariantAnimation* m_searchGlowAnimation = nullptr;
    qreal m_searchGlow = 0.0;
    bool m_framePainted = false;
    // A close that waits for the library file's check: a second close meanwhile waits with it.
    bool m_closeWaits = false;
    QTimer* m_prepareBackdrop = nullptr;
    WindowBackdrop m_backdrop;

    QHash<int, SheetFactory> m_sheetFactories;
    QHash<int, QPointer<QDialog>> m_sheets;
};

} // namespace vesk
