#include "app/MainWindow.h"

#include "app/VeskGuardedAppearanceSwitch.h"
#include "app/CaptureDropZone.h"
#include "app/ControlsStrip.h"
#include "app/DropIntake.h"
#include "app/FailureNoticeView.h"
#include "app/HeaderBar.h"
#include "app/ImportProgressView.h"
#include "app/VeskIntakeNoticeView.h"
#include "app/LibraryMenus.h"
#include "app/LibraryContent.h"
#include "app/LibraryProblemView.h"
#include "app/NoticeBanner.h"
#include "app/NoticeHost.h"
#include "app/ReadOnlyBanner.h"
#include "app/SearchField.h"
#include "app/WindowBackdrop.h"
#include "app/WindowChrome.h"
#include "app/UnfinishedWork.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"
#include "present/VeskGroupFilter.h"
#include "store/VeskStore.h"
#include "platform/ui/VeskAlert.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QDialog>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>
#include <QVariantAnimation>

namespace vesk {

namespace {

// The application-wide key-down monitor: every key press of the application passes the handler
// first, which may swallow it.
class KeyDownMonitor : public QObject {
public:
    explicit KeyDownMonitor(std::function<bool(QKeyEvent*)> handler)
        : m_handler(std::move(handler))
    {
        qApp->installEventFilter(this);
    }
    ~KeyDownMonitor() override
    {
        if (qApp)
            qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // An ignored key press travels up through the parents and passes this filter at each;
        // only its first delivery, to the focused widget (or the window when none is), counts.
        if (event->type() == QEvent::KeyPress && m_handler && watched->isWidgetType()) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
            if (watched == target && m_handler(static_cast<QKeyEvent*>(event)))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QKeyEvent*)> m_handler;
};

constexpr SheetFlag kAllSheetFlags[] = {
    SheetFlag::TextCapture, SheetFlag::SecureCapture, SheetFlag::AboutVesk, SheetFlag::FaceClusterInspector,
    SheetFlag::PersonTimeline, SheetFlag::FilenameCleanup, SheetFlag::DeleteConfirmation,
    SheetFlag::ClearLibraryConfirmation, SheetFlag::NewGroupPrompt, SheetFlag::RenameGroupPrompt,
    SheetFlag::DeleteGroupConfirmation, SheetFlag::RenamePrompt,
};

} // namespace

MainWindow::MainWindow(VeskStore& store, std::shared_ptr<Settings> settings, MainWindowHooks hooks, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(std::make_unique<MainWindowState>(std::move(settings)))
    , m_hooks(std::move(hooks))
{
    setWindowTitle(QStringLiteral("Vesk"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(defaultWidth, defaultHeight);
    setAcceptDrops(true);
    // Clicks never move the keyboard to the window itself (a click on the search field's clear
    // button keeps the field focused); submitting a search hands it over explicitly.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_header = new HeaderBar(store, *m_state, this);
    m_controlsStrip = new ControlsStrip(*m_state);
    m_libraryMenus = new LibraryMenus(store, *m_state, m_controlsStrip);
    m_header->setControls(m_controlsStrip);
    connect(m_controlsStrip, &ControlsStrip::newVeskRequested, this, &MainWindow::openTextCapture);
    // The appearance switch writes the setting through the theme, which every window follows.
    m_appearanceSwitch = new VeskGuardedAppearanceSwitch(
        [] { return Theme::current().appearanceRawValue(); },
        [](const QString& raw) { Theme::current().setAppearanceRawValue(raw); });
    m_header->setTrailingWidget(m_appearanceSwitch);
    connect(&Theme::current(), &Theme::appearanceChanged, m_appearanceSwitch,
            &VeskGuardedAppearanceSwitch::valueChanged);

    m_content = new QStackedWidget(this);
    m_dropZone = new CaptureDropZone(*m_state, m_content);
    if (!m_hooks.libraryContent) {
        m_hooks.libraryContent = [settings = m_state->settings()](VeskStore& s, MainWindowState& state, QWidget* parent) {
            return static_cast<QWidget*>(new LibraryContent(s, state, settings, parent));
        };
    }
    m_libraryView = new LibraryViewHost(store, *m_state, m_hooks.libraryContent, m_content);
    m_problemView = new LibraryProblemView(m_content);
    m_content->addWidget(m_dropZone);
    m_content->addWidget(m_libraryView);
    m_content->addWidget(m_problemView);
    connect(m_dropZone, &CaptureDropZone::openTextCaptureRequested, this, &MainWindow::openTextCapture);
    connect(m_problemView, &LibraryProblemView::openFolderRequested, this, [this](const QString& folder) {
        if (m_hooks.openFolder)
            m_hooks.openFolder(folder);
        else
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    connect(m_problemView, &LibraryProblemView::startNewLibraryRequested, this, [this] {
        // The click is the user's word; a failure is said by the store's failure notice.
        (void)m_store.startNewLibrary();
    });

    if (const auto& reason = store.readOnlyReason())
        m_readOnlyBanner = new ReadOnlyBanner(*reason, this);

    m_intakeNotices = new NoticeHost(this, intakeNoticeTop, noticeTrailing);
    m_bringBackNotices = new NoticeHost(this, bringBackNoticeTop, noticeTrailing);
    m_failureNotices = new NoticeHost(this, failureNoticeTop, noticeTrailing);
    m_header->raise();
    m_chrome = new WindowChrome(WindowChrome::mainWindowAluminum(), this);

    m_searchGlow = store.searchText().isEmpty() ? 0.0 : 1.0;
    m_prepareBackdrop = new QTimer(this);
    m_prepareBackdrop->setSingleShot(true);
    m_prepareBackdrop->setInterval(500);
    connect(m_prepareBackdrop, &QTimer::timeout, this, [this] { m_backdrop.prepare(size(), devicePixelRatioF()); });
    m_searchGlowAnimation = new QVariantAnimation(this);
    m_searchGlowAnimation->setDuration(450);
    m_searchGlowAnimation->setEasingCurve(AnimationCurves::easeInOut());
    connect(m_searchGlowAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        // Each repaint of the glow repaints the cards over it: only a step the backdrop shows,
        // and only where the glow lies.
        const qreal shown = WindowBackdrop::shownGlow(value.toDouble());
        if (shown == m_searchGlow)
            return;
        m_searchGlow = shown;
        update(WindowBackdrop::glowRegion(size()));
    });

    updateContentSwitch();

    connect(&store, &VeskStore::itemsChanged, this, &MainWindow::updateContentSwitch);
    // Only items that arrive pulse: the library read at start-up, after the window came up, adds
    // none.
    connect(&store, &VeskStore::itemAdded, this, &MainWindow::pulseNewItem);
    connect(&store, &VeskStore::searchTextChanged, this, &MainWindow::reactToSearchText);
    connect(&store, &VeskStore::intakeNoticeChanged, this, [this] {
        presentIntakeNotice();
        scheduleIntakeNoticeClear(m_store.intakeNotice());
    });
    connect(&store, &VeskStore::failureNoticeChanged, this, &MainWindow::presentFailureNotice);
    connect(&store, &VeskStore::importProgressChanged, this, [this] {
        if (!m_store.intakeNotice())
            presentIntakeNotice();
    });
    connect(&store, &VeskStore::libraryProblemChanged, this, &MainWindow::updateContentSwitch);
    // A delete waiting for its recovery snapshot: the window stays usable and says it is at work.
    connect(&store, &VeskStore::destructiveChangeRunningChanged, this, [this] {
        if (m_store.destructiveChangeRunning())
            setCursor(Qt::BusyCursor);
        else
            unsetCursor();
    });
    connect(&store, &VeskStore::bringBackNoticeChanged, this, [this] {
        presentBringBackNotice();
        scheduleBringBackNoticeClear(m_store.bringBackNotice());
    });
    connect(&NotificationCenter::shared(), &NotificationCenter::posted, this, [this](const QString& name) {
        if (name == kSummonSearchNotification)
            handleSummonSearch();
        else if (name == kCaptureClipboardNotification)
            handleCaptureClipboard();
    });
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));

    buildSheets();
    layoutChildren();
}

MainWindow::~MainWindow()
{
    m_keyboardMonitor.reset();
    // The pieces watch the window's state; they go before it does, not in the base destructor.
    const QList<QWidget*> children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
}

QWidget* MainWindow::currentContent() const
{
    return m_content->currentWidget();
}

QWidget* MainWindow::intakeNoticeView() const
{
    return m_intakeNotices->current();
}

QWidget* MainWindow::bringBackNoticeView() const
{
    return m_bringBackNotices->current();
}

FailureNoticeView* MainWindow::failureNoticeView() const
{
    return qobject_cast<FailureNoticeView*>(m_failureNotices->current());
}

void MainWindow::updateContentSwitch()
{
    if (const auto& problem = m_store.libraryProblem()) {
        // Never the welcome surface: an unreadable library must not look new and empty.
        m_problemView->setProblem(*problem);
        m_content->setCurrentWidget(m_problemView);
        return;
    }
    QWidget* wanted = m_store.items().isEmpty() ? static_cast<QWidget*>(m_dropZone) : m_libraryView;
    if (m_content->currentWidget() != wanted)
        m_content->setCurrentWidget(wanted);
}

void MainWindow::layoutChildren()
{
    const int w = width();
    m_header->setGeometry(0, 0, w, HeaderBar::barHeight);
    // One point of divider under the header, then the content.
    int contentTop = HeaderBar::barHeight + 1;
    if (m_readOnlyBanner) {
        m_readOnlyBanner->setGeometry(0, contentTop, w, ReadOnlyBanner::barHeight);
        contentTop += ReadOnlyBanner::barHeight;
    }
    m_content->setGeometry(0, contentTop, w, std::max(0, height() - contentTop));
    m_intakeNotices->reposition();
    m_bringBackNotices->reposition();
    m_failureNotices->reposition();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    m_backdrop.paint(p, event->region(), size(), m_searchGlow);
    // The picture of the search's glow is painted once the window has rested at its size.
    if (!m_backdrop.isPrepared())
        m_prepareBackdrop->start();
    if (!m_framePainted) {
        m_framePainted = true;
        // The window paints its children after itself and then flushes: the next turn comes
        // after all of that.
        QTimer::singleShot(0, this, &MainWindow::firstFrameDrawn);
    }
}

void MainWindow::reactToSearchText()
{
    const bool empty = m_store.searchText().isEmpty();
    const qreal target = empty ? 0.0 : 1.0;
    if (m_searchGlowAnimation->endValue().toDouble() != target
        || m_searchGlowAnimation->state() != QAbstractAnimation::Running) {
        if (m_searchGlow != target) {
            m_searchGlowAnimation->stop();
            m_searchGlowAnimation->setStartValue(m_searchGlow);
            m_searchGlowAnimation->setEndValue(target);
            m_searchGlowAnimation->start();
        }
    }

    // The selection that follows the typing is the library grid's own reaction to the search
    // text (it selects the top result without recording a use).
}

// --- Appearance and disappearance ---

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        handleAppear();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        handleDisappear();
}

void MainWindow::handleAppear()
{
    if (m_hooks.startSummonHotKey)
        m_hooks.startSummonHotKey();
    if (m_hooks.startClipboardHotKey)
        m_hooks.startClipboardHotKey();
    // A notice posted before the window first showed (a reminder due at start-up, an inbox
    // import) would otherwise stay forever: its clearing starts only on a change.
    scheduleIntakeNoticeClear(m_store.intakeNotice());
    scheduleBringBackNoticeClear(m_store.bringBackNotice());
    if (m_store.intakeNotice() && !m_intakeNotices->current())
        presentIntakeNotice();
    if (m_store.bringBackNotice() && !m_bringBackNotices->current())
        presentBringBackNotice();
    if (m_store.failureNotice() && !m_failureNotices->current())
        presentFailureNotice();

    if (m_keyboardMonitor)
        return;
    m_keyboardMonitor = std::make_unique<KeyDownMonitor>([this](QKeyEvent* event) {
        return m_hooks.handleKeyDown ? m_hooks.handleKeyDown(event) : false;
    });
}

void MainWindow::handleDisappear()
{
    m_keyboardMonitor.reset();
    // A sheet does not outlive its window's showing: closing it clears its flag, so nothing
    // stays marked open behind a window that went away.
    for (SheetFlag flag : kAllSheetFlags)
        dismissSheet(flag);
    if (m_hooks.closeQuickLook)
        m_hooks.closeQuickLook();
}

// --- Store reactions and timers ---

void MainWindow::presentIntakeNotice()
{
    const auto& notice = m_store.intakeNotice();
    if (!notice) {
        // Between notices, a large import shows how far it has got.
        if (const auto& progress = m_store.importProgress()) {
            auto* view = qobject_cast<ImportProgressView*>(m_intakeNotices->current());
            if (view && view->progress().importID == progress->importID) {
                view->setProgress(*progress);
                return;
            }
            view = new ImportProgressView(*progress, this);
            connect(view, &ImportProgressView::cancelRequested, this,
                    [this](const QUuid& importID) { m_store.cancelImport(importID); });
            m_intakeNotices->show(view);
            m_chrome->raise();
            return;
        }
        m_intakeNotices->clear();
        return;
    }
    QWidget* view = m_hooks.intakeNoticeView ? m_hooks.intakeNoticeView(*notice, this)
                                             : new VeskIntakeNoticeView(*notice, this);
    if (view && !view->property("shadowMargin").isValid() && qobject_cast<NoticeBanner*>(view))
        view->setProperty("shadowMargin", NoticeBanner::shadowMargin);
    m_intakeNotices->show(view);
    m_chrome->raise();
}

void MainWindow::presentBringBackNotice()
{
    const auto& notice = m_store.bringBackNotice();
    if (!notice) {
        m_bringBackNotices->clear();
        return;
    }
    auto* view = new VeskBringBackNoticeView(*notice, this);
    view->setProperty("shadowMargin", NoticeBanner::shadowMargin);
    m_bringBackNotices->show(view);
    m_chrome->raise();
}

void MainWindow::presentFailureNotice()
{
    const auto& notice = m_store.failureNotice();
    if (!notice) {
        m_failureNotices->clear();
        return;
    }
    // More failures of the same kind update the notice in place instead of sliding in again.
    if (FailureNoticeView* shown = failureNoticeView(); shown && shown->notice().id == notice->id) {
        shown->setNotice(*notice);
        m_failureNotices->reposition();
        return;
    }
    auto* view = new FailureNoticeView(*notice, this);
    connect(view, &FailureNoticeView::dismissRequested, this, [this] { m_store.dismissFailureNotice(); });
    m_failureNotices->show(view);
    m_chrome->raise();
}

void MainWindow::pulseNewItem(const QUuid& chosen)
{
    m_state->setCapturePulseID(chosen);
    m_store.services().timers->after(m_timings.capturePulseMs, this, [this, chosen] {
        if (m_state->capturePulseID() == chosen)
            m_state->setCapturePulseID(std::nullopt);
    });
}

void MainWindow::scheduleIntakeNoticeClear(const std::optional<VeskIntakeNotice>& notice)
{
    if (!notice)
        return;
    const QUuid id = notice->id;
    m_store.services().timers->after(m_timings.intakeNoticeMs, this, [this, id] {
        m_store.clearIntakeNotice(id);
    });
}

void MainWindow::scheduleBringBackNoticeClear(const std::optional<VeskBringBackNotice>& notice)
{
    if (!notice)
        return;
    const QUuid id = notice->id;
    m_store.services().timers->after(bringBackNoticeDelayMs(notice->kind, m_timings), this, [this, id] {
        m_store.clearBringBackNotice(id);
    });
}

void MainWindow::handleSummonSearch()
{
    QTimer::singleShot(0, this, [this] { m_state->setSearchFieldIsFocused(true); });
}

void MainWindow::handleCaptureClipboard()
{
    if (m_hooks.captureClipboard)
        m_hooks.captureClipboard(m_store);
}

// --- Composer ---

void MainWindow::openTextCapture()
{
    m_state->setDraftTitle(QString());
    m_state->setDraftRichText(QString());
    m_state->setShowingTextCapture(true);
}

// --- Drop intake ---

bool MainWindow::handleDrop(const QMimeData& mime)
{
    const QList<DropAction> actions = dropActionsFor(mime);
    QPointer<VeskStore> store(&m_store);
    for (const DropAction& action : actions) {
        // Each intake runs on its own later turn of the main loop: the drop returns at once.
        QTimer::singleShot(0, &m_store, [store, action] {
            if (!store)
                return;
            switch (action.kind) {
            case DropAction::Kind::ImportFile:
                // A failure is said by the store's failure notice.
                (void)store->importNativeFile(action.nativePath);
                break;
            case DropAction::Kind::AddHTML:
                store->addHTML(action.html);
                break;
            case DropAction::Kind::AddLink:
                store->addLink(action.url);
                break;
            case DropAction::Kind::AddText:
                store->addText(action.text);
                break;
            }
        });
    }
    return !actions.isEmpty();
}

namespace {
// A drop is taken as a copy (or a link, which also leaves the source alone): accepting a move
// would let the file manager delete the original while its import is still queued. A drag that
// can only be moved is refused.
std::optional<Qt::DropAction> nonDestructiveAction(const QDropEvent& event)
{
    if (event.possibleActions() & Qt::CopyAction)
        return Qt::CopyAction;
    if (event.possibleActions() & Qt::LinkAction)
        return Qt::LinkAction;
    return std::nullopt;
}

bool acceptAsCopy(QDropEvent* event)
{
    const std::optional<Qt::DropAction> action = nonDestructiveAction(*event);
    if (!action || !event->mimeData() || !dropIsAcceptable(*event->mimeData())) {
        event->ignore();
        return false;
    }
    event->setDropAction(*action);
    event->accept();
    return true;
}
} // namespace

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closeWaits) {
        event->ignore();
        return;
    }
    // A file on its way in when the user quits is not dropped unsaid: the close waits a while for
    // the copies under way, which then become items as usual.
    if (m_store.importCountInProgress() > 0) {
        m_closeWaits = true;
        (void)waitForImportsToEnd(m_store, m_timings.closeWaitsForImportsMs);
        m_closeWaits = false;
    }
    const int importCount = m_store.importCountInProgress();
    const QStringList unfinished = importCount > 0 ? m_store.importsUnderWay() : QStringList();
    // New items shown while the library file is checked are written once it passes: the close
    // waits for that rather than let them go with the window unsaid.
    if (!m_store.savingItemIDs().isEmpty()) {
        m_closeWaits = true;
        m_store.waitForStartup();
        m_closeWaits = false;
    }
    // One last try; what still cannot be written is said before it is lost with the window, and
    // so are the imports that did not finish.
    int unsaved = m_store.unsavedItemIDs().isEmpty() ? 0 : m_store.retryUnsavedItems();
    int importsToAsk = importCount;
    bool close = true;
    if (importsToAsk > 0 && m_hooks.confirmCloseWithUnfinishedImports) {
        close = m_hooks.confirmCloseWithUnfinishedImports(unfinished);
        importsToAsk = 0;
    }
    if (close && unsaved > 0 && m_hooks.confirmCloseWithUnsaved) {
        close = m_hooks.confirmCloseWithUnsaved(unsaved);
        unsaved = 0;
    }
    if (close && (unsaved > 0 || importsToAsk > 0))
        close = askToCloseWithUnfinishedWork(this, unsaved, m_store.libraryProblem().has_value(), unfinished, importsToAsk);
    if (!close) {
        event->ignore();
        return;
    }
    if (importCount > 0) {
        veskLog(QStringLiteral("Vesk closed before these imports were finished: ") + unfinished.join(QStringLiteral(", ")));
        m_store.cancelAllImports();
    }
    QWidget::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // A library that cannot be read takes nothing in.
    if (m_store.libraryProblem()) {
        event->ignore();
        return;
    }
    if (acceptAsCopy(event))
        m_state->setIsTargeted(true);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    acceptAsCopy(event);
}

void MainWindow::dragLeaveEvent(QDragLeaveEvent* event)
{
    QWidget::dragLeaveEvent(event);
    m_state->setIsTargeted(false);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    m_state->setIsTargeted(false);
    const std::optional<Qt::DropAction> action = nonDestructiveAction(*event);
    if (!action || !event->mimeData() || !handleDrop(*event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(*action);
    event->accept();
}

// --- Sheets ---

namespace {
struct FlagAccess {
    bool (MainWindowState::*get)() const;
    void (MainWindowState::*set)(bool);
    void (MainWindowState::*changed)();
};

FlagAccess flagAccess(SheetFlag flag)
{
    using S = MainWindowState;
    switch (flag) {
    case SheetFlag::TextCapture: return {&S::showingTextCapture, &S::setShowingTextCapture, &S::showingTextCaptureChanged};
    case SheetFlag::SecureCapture: return {&S::showingSecureCapture, &S::setShowingSecureCapture, &S::showingSecureCaptureChanged};
    case SheetFlag::AboutVesk: return {&S::showingAboutVesk, &S::setShowingAboutVesk, &S::showingAboutVeskChanged};
    case SheetFlag::FaceClusterInspector:
        return {&S::showingFaceClusterInspector, &S::setShowingFaceClusterInspector, &S::showingFaceClusterInspectorChanged};
    case SheetFlag::PersonTimeline:
        return {&S::showingPersonTimeline, &S::setShowingPersonTimeline, &S::showingPersonTimelineChanged};
    case SheetFlag::FilenameCleanup:
        return {&S::showingFilenameCleanup, &S::setShowingFilenameCleanup, &S::showingFilenameCleanupChanged};
    case SheetFlag::DeleteConfirmation:
        return {&S::showingDeleteConfirmation, &S::setShowingDeleteConfirmation, &S::showingDeleteConfirmationChanged};
    case SheetFlag::ClearLibraryConfirmation:
        return {&S::showingClearLibraryConfirmation, &S::setShowingClearLibraryConfirmation,
                &S::showingClearLibraryConfirmationChanged};
    case SheetFlag::NewGroupPrompt:
        return {&S::showingNewGroupPrompt, &S::setShowingNewGroupPrompt, &S::showingNewGroupPromptChanged};
    case SheetFlag::RenameGroupPrompt:
        return {&S::showingRenameGroupPrompt, &S::setShowingRenameGroupPrompt, &S::showingRenameGroupPromptChanged};
    case SheetFlag::DeleteGroupConfirmation:
        return {&S::showingDeleteGroupConfirmation, &S::setShowingDeleteGroupConfirmation,
                &S::showingDeleteGroupConfirmationChanged};
    case SheetFlag::RenamePrompt:
        return {&S::showingRenamePrompt, &S::setShowingRenamePrompt, &S::pendingRenameItemIDChanged};
    }
    Q_UNREACHABLE();
}

} // namespace

void MainWindow::buildSheets()
{
    for (SheetFlag flag : kAllSheetFlags) {
        const FlagAccess access = flagAccess(flag);
        connect(m_state.get(), access.changed, this, [this, flag] {
            if (sheetFlagValue(flag))
                presentSheet(flag);
            else
                dismissSheet(flag);
        });
    }
}

void MainWindow::setSheetFactory(SheetFlag flag, SheetFactory factory)
{
    const bool available = bool(factory);
    m_sheetFactories.insert(int(flag), std::move(factory));
    m_state->setSheetAvailable(flag, available);
}

QDialog* MainWindow::presentedSheet(SheetFlag flag) const
{
    return m_sheets.value(int(flag));
}

bool MainWindow::sheetFlagValue(SheetFlag flag) const
{
    return (m_state.get()->*flagAccess(flag).get)();
}

void MainWindow::clearSheetFlag(SheetFlag flag)
{
    (m_state.get()->*flagAccess(flag).set)(false);
}

void MainWindow::presentSheet(SheetFlag flag)
{
    if (m_sheets.value(int(flag)))
        return;
    const SheetFactory factory = m_sheetFactories.value(int(flag));
    QDialog* sheet = factory ? factory(*this) : nullptr;
    if (!sheet) {
        // A flag that nothing presents must not stay set: it would hold keys and controls as if
        // a sheet were open.
        clearSheetFlag(flag);
        return;
    }
    if (sheet->parentWidget() != this)
        sheet->setParent(this, sheet->windowFlags() | Qt::Sheet | Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheets.insert(int(flag), sheet);
    connect(sheet, &QDialog::finished, this, [this, flag] {
        m_sheets.remove(int(flag));
        clearSheetFlag(flag);
    });
    sheet->open();
}

void MainWindow::dismissSheet(SheetFlag flag)
{
    if (QPointer<QDialog> sheet = m_sheets.take(int(flag)))
        sheet->close();
}

} // namespace vesk
