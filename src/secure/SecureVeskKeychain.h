#pragma once
// Secure items' protected values in the system keyring: text in, bytes out through a SecretStore,
// one entry per item. A password is its UTF-8 bytes exactly as given; a card is its keyring text.

#include "platform/Expected.h"
#include "platform/KeychainError.h"
#include "secure/CreditCardPayload.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

class SecretStore;

namespace SecureVeskKeychain {

[[nodiscard]] Expected<void, KeychainError> saveSecret(SecretStore& store, const QString& secret, const QUuid& id);
[[nodiscard]] Expected<void, KeychainError> saveCreditCard(SecretStore& store, const CreditCardPayload& payload,
                                                           const QUuid& id);
// None when the item has no entry, or when its bytes are not UTF-8.
[[nodiscard]] Expected<std::optional<QString>, KeychainError> readSecret(SecretStore& store, const QUuid& id);
// None when the item has no entry; an entry that is not UTF-8 text of three lines is an
// invalidCreditCardPayload error.
[[nodiscard]] Expected<std::optional<CreditCardPayload>, KeychainError> readCreditCard(SecretStore& store,
                                                                                       const QUuid& id);

} // namespace SecureVeskKeychain

} // namespace vesk
