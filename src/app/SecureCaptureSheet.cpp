#include "app/SecureCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "secureview/SecureVeskComposer.h"
#include "store/VeskStore.h"

#include <QPointer>
#include <QSet>
#include <QUuid>
#include <functional>

namespace vesk {

QDialog* makeSecureCaptureSheet(MainWindow& window)
{
    QPointer<VeskStore> store(&window.store());
    QPointer<MainWindowState> state(&window.state());
    // An item whose row the library could not write yet is made all the same: it stands on screen,
    // marked unsaved, and the store's failure notice says it tries again. The sheet closes on it as
    // on a save, so that pressing "Vesk It" again cannot make a second item with a second secret.
    const auto saveOnce = [store, state](const std::function<bool()>& save) {
        if (!store)
            return false;
        const QSet<QUuid> unsavedBefore = store->unsavedItemIDs();
        const bool saved = save();
        const bool keptOnScreen = !saved && store && !(store->unsavedItemIDs() - unsavedBefore).isEmpty();
        if ((saved || keptOnScreen) && state)
            state->setShowingSecureCapture(false);
        return saved || keptOnScreen;
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
    actions.failureReason = [store] {
        if (!store)
            return QString();
        if (const std::optional<QString>& refused = store->lastSecureItemRefusal(); refused && !refused->isEmpty())
            return refused->at(0).toUpper() + refused->mid(1) + QLatin1Char('.');
        if (!store->lastKeychainFailure())
            return QString();
        const KeychainError& failure = *store->lastKeychainFailure();
        return failure.kind == KeychainError::Kind::Unavailable ? failure.localizedDescription() : QString();
    };
    return new SecureVeskComposer(std::move(actions), &window);
}

} // namespace vesk
