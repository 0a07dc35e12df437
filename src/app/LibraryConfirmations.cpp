#include "app/LibraryConfirmations.h"

#include "app/LibraryCommands.h"
#include "app/MainWindowState.h"
#include "store/VeskStore.h"
#include "platform/ui/VeskAlert.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <functional>

namespace vesk {

namespace {

// A confirmation whose title is always shown, with the destructive button first and "Cancel" as
// the answer to Escape. onConfirm runs when the destructive button closed it, onCancel when
// "Cancel" did.
QMessageBox* makeConfirmation(const QString& title, const QString& message, const QString& destructiveTitle,
                              std::function<void()> onConfirm, std::function<void()> onCancel = {})
{
    QMessageBox* box = makeVeskAlert(title, message, AlertSymbol::Warning);
    QPushButton* destructive = addAlertButton(box, destructiveTitle, QMessageBox::DestructiveRole);
    QPushButton* cancel = addAlertButton(box, QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QDialog::finished, box, [box, destructive, cancel, onConfirm, onCancel] {
        if (box->clickedButton() == destructive && onConfirm)
            onConfirm();
        else if (box->clickedButton() == cancel && onCancel)
            onCancel();
    });
    return box;
}

} // namespace

QMessageBox* makeDeleteConfirmation(VeskStore& store)
{
    QPointer<VeskStore> guarded(&store);
    return makeConfirmation(
        deleteConfirmationTitle(store.selectedIDs().size()),
        QStringLiteral("Vesk will remove its managed copies, thumbnails, database records, embeddings, and "
                       "relationships. Original source files outside Vesk are not touched."),
        QStringLiteral("Delete"), [guarded] {
            if (guarded)
                guarded->deleteItems();
        });
}

QMessageBox* makeClearLibraryConfirmation(VeskStore& store)
{
    QPointer<VeskStore> guarded(&store);
    return makeConfirmation(
        QStringLiteral("Clear the entire Vesk library?"),
        QStringLiteral("This removes every Vesk and every copy Vesk owns. Original source files outside Vesk are "
                       "not touched."),
        QStringLiteral("Clear Library"), [guarded] {
            if (guarded)
                guarded->clearLibrary();
        });
}

QMessageBox* makeDeleteGroupConfirmation(VeskStore& store, MainWindowState& state)
{
    QPointer<VeskStore> guardedStore(&store);
    QPointer<MainWindowState> guardedState(&state);
    return makeConfirmation(
        QStringLiteral("Delete this group?"), QStringLiteral("The Vesks stay in Vesk Ruzi and return to No Group."),
        QStringLiteral("Delete Group"),
        [guardedStore, guardedState] {
            if (guardedStore && guardedState)
                confirmGroupDelete(*guardedStore, *guardedState);
        },
        [guardedState] {
            if (guardedState)
                cancelGroupDelete(*guardedState);
        });
}

} // namespace vesk
