#include "app/LibrarySheets.h"

#include "app/FilenameCleanupSheet.h"
#include "app/LibraryCommands.h"
#include "app/LibraryConfirmations.h"
#include "app/MainWindow.h"
#include "app/NamePrompt.h"

#include <QMessageBox>
#include <QPointer>

namespace vesk {

namespace {

// A prompt whose field writes through to a text of the window state.
using StateTextSetter = void (MainWindowState::*)(const QString&);

NamePrompt* makeNamePrompt(MainWindow& window, const NamePromptTexts& texts, const QString& initialText,
                           StateTextSetter setText, void (*onConfirm)(VeskStore&, MainWindowState&),
                           void (*onCancel)(MainWindowState&))
{
    auto* prompt = new NamePrompt(texts, initialText, &window);
    QPointer<MainWindow> guarded(&window);
    QObject::connect(prompt, &NamePrompt::textEdited, prompt, [guarded, setText](const QString& text) {
        if (guarded)
            (guarded->state().*setText)(text);
    });
    QObject::connect(prompt, &NamePrompt::confirmed, prompt, [guarded, onConfirm] {
        if (guarded)
            onConfirm(guarded->store(), guarded->state());
    });
    QObject::connect(prompt, &NamePrompt::cancelled, prompt, [guarded, onCancel] {
        if (guarded)
            onCancel(guarded->state());
    });
    return prompt;
}

} // namespace

void installLibrarySheets(MainWindow& window)
{
    window.setSheetFactory(SheetFlag::RenamePrompt, [](MainWindow& w) -> QDialog* {
        return makeNamePrompt(w,
                              {QStringLiteral("Rename Vesk"), QStringLiteral("Name"),
                               QStringLiteral("Give this Vesk a meaningful name. The original file stays unchanged."),
                               QStringLiteral("Rename")},
                              w.state().renameItemTitle(), &MainWindowState::setRenameItemTitle, confirmItemRename,
                              cancelItemRename);
    });
    window.setSheetFactory(SheetFlag::NewGroupPrompt, [](MainWindow& w) -> QDialog* {
        return makeNamePrompt(w,
                              {QStringLiteral("New Group"), QStringLiteral("Group name"),
                               QStringLiteral("Create an optional group for this Vesk."), QStringLiteral("Create")},
                              w.state().newGroupName(), &MainWindowState::setNewGroupName, confirmNewGroup,
                              cancelNewGroup);
    });
    window.setSheetFactory(SheetFlag::RenameGroupPrompt, [](MainWindow& w) -> QDialog* {
        return makeNamePrompt(w,
                              {QStringLiteral("Rename Group"), QStringLiteral("Group name"),
                               QStringLiteral("Change the name of this group."), QStringLiteral("Rename")},
                              w.state().editingGroupName(), &MainWindowState::setEditingGroupName, confirmGroupRename,
                              cancelGroupRename);
    });
    window.setSheetFactory(SheetFlag::DeleteGroupConfirmation, [](MainWindow& w) -> QDialog* {
        return makeDeleteGroupConfirmation(w.store(), w.state());
    });
    window.setSheetFactory(SheetFlag::DeleteConfirmation,
                           [](MainWindow& w) -> QDialog* { return makeDeleteConfirmation(w.store()); });
    window.setSheetFactory(SheetFlag::ClearLibraryConfirmation,
                           [](MainWindow& w) -> QDialog* { return makeClearLibraryConfirmation(w.store()); });
    window.setSheetFactory(SheetFlag::FilenameCleanup, makeFilenameCleanupSheet);
    new CleanupCompletionAlert(window.state(), &window);
}

} // namespace vesk
