#include "app/KeyboardCommands.h"

#include "app/MainWindow.h"
#include "app/QuickLookWindow.h"
#include "model/ItemFileKinds.h"
#include "pane/DesktopOpening.h"
#include "present/VeskGroupFilter.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

namespace vesk {

namespace {

bool isReturn(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

std::optional<VeskItem> targetedItem(const VeskStore& store)
{
    if (!store.selectedID())
        return std::nullopt;
    const qsizetype index = store.indexOfItem(*store.selectedID());
    return index < 0 ? std::nullopt : std::optional<VeskItem>(store.items().at(index));
}

QList<VeskItem> visibleList(const MainWindow& window)
{
    const VeskStore& store = window.store();
    const MainWindowState& state = window.state();
    return visibleItems(store.searchText(), store.filteredItems(), state.groupFilter(), state.showingAllVesks(),
                        MainWindowState::recentVeskLimit);
}

// Links from items open only where a browser or mail program takes them: never a local file, a
// desktop launcher or a network share.
bool isOpenableLink(const QUrl& url)
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                     QStringLiteral("ftp")};
    return url.isValid() && schemes.contains(url.scheme().toLower());
}

} // namespace

KeyCommand keyCommandFor(int key, Qt::KeyboardModifiers modifiers, const KeyContext& context)
{
    if (context.otherWindowHasTheKey)
        return KeyCommand::PassThrough;
    const bool command = modifiers.testFlag(Qt::ControlModifier);
    if (context.searchFieldFocused) {
        if (command && isReturn(key))
            return KeyCommand::OpenOrCopy;
        if (isReturn(key))
            return KeyCommand::EnsureSelection;
        switch (key) {
        case Qt::Key_Escape: return KeyCommand::Escape;
        case Qt::Key_Down: return KeyCommand::MoveForward;
        case Qt::Key_Up: return KeyCommand::MoveBackward;
        default: return KeyCommand::PassThrough;
        }
    }
    if (context.editableTextFocused)
        return KeyCommand::PassThrough;
    if (command && isReturn(key))
        return KeyCommand::OpenOrCopy;
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Down: return KeyCommand::MoveForward;
    case Qt::Key_Left:
    case Qt::Key_Up: return KeyCommand::MoveBackward;
    case Qt::Key_Return:
    case Qt::Key_Enter: return KeyCommand::EnsureSelection;
    case Qt::Key_Space: return KeyCommand::QuickLook;
    case Qt::Key_Escape: return KeyCommand::Escape;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (context.hasMultiSelection)
            return KeyCommand::ConfirmDelete;
        break;
    default: break;
    }
    if (command && key == Qt::Key_A && !modifiers.testFlag(Qt::ShiftModifier) && !modifiers.testFlag(Qt::AltModifier))
        return KeyCommand::SelectAllVisible;
    return KeyCommand::PassThrough;
}

KeyboardCommands::KeyboardCommands(MainWindow& window, VeskQuickLookController& quickLook)
    : m_window(window)
    , m_quickLook(quickLook)
{
}

KeyContext KeyboardCommands::contextFor(QKeyEvent*) const
{
    KeyContext context;
    QWidget* focus = QApplication::focusWidget();
    QWidget* active = QApplication::activeWindow();
    // A confirmation or sheet owns every key while it is open, and so does any other window the
    // key was typed into: a key meant for them must never change what the grid would delete.
    context.otherWindowHasTheKey = QApplication::activeModalWidget() != nullptr
        || (active && active != m_window.window()) || (focus && focus->window() != m_window.window());
    context.searchFieldFocused = m_window.state().searchFieldIsFocused();
    if (auto* line = qobject_cast<QLineEdit*>(focus))
        context.editableTextFocused = !line->isReadOnly();
    else if (auto* text = qobject_cast<QTextEdit*>(focus))
        context.editableTextFocused = !text->isReadOnly();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        context.editableTextFocused = !plain->isReadOnly();
    context.hasMultiSelection = !m_window.store().selectedIDs().isEmpty();
    return context;
}

bool KeyboardCommands::handleKeyDown(QKeyEvent* event)
{
    return run(keyCommandFor(event->key(), event->modifiers(), contextFor(event)));
}

bool KeyboardCommands::run(KeyCommand command)
{
    switch (command) {
    case KeyCommand::PassThrough: return false;
    case KeyCommand::OpenOrCopy: openOrCopyTargetedItem(); return true;
    case KeyCommand::EnsureSelection: ensureSelection(); return true;
    case KeyCommand::Escape: handleEscapeKey(); return true;
    case KeyCommand::MoveForward: moveSelection(1); return true;
    case KeyCommand::MoveBackward: moveSelection(-1); return true;
    case KeyCommand::QuickLook: quickLookTargetedItem(); return true;
    case KeyCommand::ConfirmDelete: m_window.state().setShowingDeleteConfirmation(true); return true;
    case KeyCommand::SelectAllVisible: m_window.store().selectItems(visibleList(m_window)); return true;
    }
    return false;
}

void KeyboardCommands::openOrCopyTargetedItem()
{
    VeskStore& store = m_window.store();
    const std::optional<VeskItem> item = targetedItem(store);
    if (!item) {
        ensureSelection();
        return;
    }
    if (itemHasSecureMarker(*item)) {
        // A secret is handled in the preview, never opened or copied from here.
        store.select(item->id);
        return;
    }
    if (item->filePath) {
        (void)openOrReport(store, systemDesktopOpener(), QUrl::fromLocalFile(*item->filePath));
        return;
    }
    if (item->kind == VeskKind::Text && item->text && !item->text->isEmpty()) {
        QGuiApplication::clipboard()->setText(item->text->toString());
        store.postCapturedNotice(QStringLiteral("Copied from Vesk"), item->title, item->id);
        return;
    }
    if (item->kind == VeskKind::Url && item->urlString) {
        const QUrl url(*item->urlString);
        if (isOpenableLink(url))
            (void)openOrReport(store, systemDesktopOpener(), url);
    }
}

void KeyboardCommands::moveSelection(int delta)
{
    const QList<VeskItem> visible = visibleList(m_window);
    if (visible.isEmpty())
        return;
    VeskStore& store = m_window.store();
    qsizetype target = delta < 0 ? visible.size() + delta : delta - 1;
    if (store.selectedID()) {
        for (qsizetype i = 0; i < visible.size(); ++i) {
            if (visible[i].id == *store.selectedID()) {
                target = i + delta;
                break;
            }
        }
    }
    target = std::min(visible.size() - 1, std::max<qsizetype>(target, 0));
    store.select(visible[target].id);
}

void KeyboardCommands::ensureSelection()
{
    const QList<VeskItem> visible = visibleList(m_window);
    if (visible.isEmpty())
        return;
    VeskStore& store = m_window.store();
    const VeskItem* item = &visible.first();
    if (store.selectedID()) {
        for (const VeskItem& candidate : visible) {
            if (candidate.id == *store.selectedID()) {
                item = &candidate;
                break;
            }
        }
    }
    store.select(item->id);
    MainWindowState& state = m_window.state();
    state.setSurfacePulse(!state.surfacePulse());
    state.setSearchFieldIsFocused(false);
    if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() == m_window.window())
        focus->clearFocus();
}

void KeyboardCommands::quickLookTargetedItem()
{
    VeskStore& store = m_window.store();
    const std::optional<VeskItem> item = targetedItem(store);
    if (!item) {
        moveSelection(1);
        return;
    }
    if (item->filePath)
        m_quickLook.showQuickLookPanel(*item->filePath);
    else
        store.select(item->id);
}

void KeyboardCommands::handleEscapeKey()
{
    VeskStore& store = m_window.store();
    MainWindowState& state = m_window.state();
    if (m_quickLook.isVisible()) {
        m_quickLook.close();
        return;
    }
    if (!store.searchText().trimmed().isEmpty()) {
        store.setSearchText(QString());
        store.setSelectedIDs({});
        state.setSearchFieldIsFocused(true);
        QTimer::singleShot(0, &m_window, [&state] { state.setSearchFieldIsFocused(true); });
        return;
    }
    if (!store.selectedIDs().isEmpty()) {
        store.setSelectedIDs({});
        store.setSelectedID(std::nullopt);
        return;
    }
    state.setSearchFieldIsFocused(true);
}

} // namespace vesk
