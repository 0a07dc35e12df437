#include "app/SecureCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "secureview/SecureVeskComposer.h"
#include "store/VeskStore.h"

#include <QPointer>

namespace vesk {

QDialog* makeSecureCaptureSheet(MainWindow& window)
{
    QPointer<VeskStore> store(&window.store());
    QPointer<MainWindowState> state(&window.state());
    const auto closeOnSuccess = [state](bool saved) {
        if (saved && state)
            state->setShowingSecureCapture(false);
        return saved;
    };

    SecureVeskComposer::Actions actions;
    actions.saveSecret = [store, closeOnSuccess](const QString& name, const QString& details, const QString& secret,
                                                 const QString& note) {
        return closeOnSuccess(store && store->addSecureItem(name, details, secret, note));
    };
    actions.saveCreditCard = [store, closeOnSuccess](const QString& name, const QString& details,
                                                     const QString& digits, const QString& expiration,
                                                     const QString& code, const QString& note) {
        return closeOnSuccess(store && store->addCreditCard(name, details, digits, expiration, code, note));
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
