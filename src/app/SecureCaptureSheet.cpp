#include "app/SecureCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "secureview/SecureVeskComposer.h"
#include "store/VeskStore.h"

#include <QPointer>
#include <QSet>
#include <QUuid>
#include <functional>
#include <memory>

namespace vesk {

namespace {

// The library's reason as a sentence of its own, or an unavailable keyring's; nothing for the
// failures the user cannot act on.
QString sheetReason(const SecureItemFailure& failure)
{
    if (!failure.libraryRefusal.isEmpty())
        return failure.libraryRefusal.at(0).toUpper() + failure.libraryRefusal.mid(1) + QLatin1Char('.');
    if (failure.keychain && failure.keychain->kind == KeychainError::Kind::Unavailable)
        return failure.keychain->localizedDescription();
    return QString();
}

} // namespace

QDialog* makeSecureCaptureSheet(MainWindow& window)
{
    QPointer<VeskStore> store(&window.store());
    QPointer<MainWindowState> state(&window.state());
    // Why the last save was refused, as the sheet says it.
    const auto reason = std::make_shared<QString>();
    // An item whose row the library could not write yet is made all the same: it stands on screen,
    // marked unsaved, and the store's failure notice says it tries again. The sheet closes on it as
    // on a save, so that pressing "Vesk It" again cannot make a second item with a second secret.
    const auto saveOnce = [store, state, reason](const std::function<SecureItemSave()>& save) {
        *reason = QString();
        if (!store)
            return false;
        const QSet<QUuid> unsavedBefore = store->unsavedItemIDs();
        const SecureItemSave saved = save();
        const bool keptOnScreen = !saved && store && !(store->unsavedItemIDs() - unsavedBefore).isEmpty();
        if (!saved && !keptOnScreen)
            *reason = sheetReason(saved.error());
        if ((saved || keptOnScreen) && state)
            state->setShowingSecureCapture(false);
        return saved.hasValue() || keptOnScreen;
    };

    SecureVeskComposer::Actions actions;
    actions.saveSecret = [store, saveOnce](const QString& name, const QString& details, const QString& secret,
                                           const QString& note) {
        return saveOnce([&] { return store->addSecureItem(name, details, secret, note); });
    };
    actions.saveCreditCard = [store, saveOnce](const QString& name, const QString& details, const QString& digits,
                                               const QString& expiration, const QString& code, const QString& note) {
        return saveOnce([&] { return store->addCreditCard(name, details, digits, expiration, code, note); });
    };
    actions.cancel = [state] {
        if (state)
            state->setShowingSecureCapture(false);
    };
    // The library's reason is said in the sheet itself: the failure notice may be waiting behind
    // another one, and the sheet is where the user looks after pressing save.
    actions.failureReason = [reason] { return *reason; };
    return new SecureVeskComposer(std::move(actions), &window);
}

} // namespace vesk
