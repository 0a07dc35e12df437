#include "app/SecureCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "secureview/SecureVeskComposer.h"
#include "store/VeskStore.h"

#include <QPointer>
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
    const auto closeOnSuccess = [state, reason](const SecureItemSave& saved) {
        *reason = saved ? QString() : sheetReason(saved.error());
        if (saved && state)
            state->setShowingSecureCapture(false);
        return saved.hasValue();
    };

    SecureVeskComposer::Actions actions;
    actions.saveSecret = [store, closeOnSuccess](const QString& name, const QString& details, const QString& secret,
                                                 const QString& note) {
        return closeOnSuccess(store ? store->addSecureItem(name, details, secret, note)
                                    : SecureItemSave(unexpected(SecureItemFailure{})));
    };
    actions.saveCreditCard = [store, closeOnSuccess](const QString& name, const QString& details,
                                                     const QString& digits, const QString& expiration,
                                                     const QString& code, const QString& note) {
        return closeOnSuccess(store ? store->addCreditCard(name, details, digits, expiration, code, note)
                                    : SecureItemSave(unexpected(SecureItemFailure{})));
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
