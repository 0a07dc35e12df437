#pragma once

#include "platform/SecretStore.h"

#include <QString>

namespace vesk {

// The secure items' entries in the system keyring, through the freedesktop Secret Service on the
// session bus (GNOME Keyring, KWallet, KeePassXC, ...). Each entry carries exactly two attributes:
// "service" (kSecureKeyringService) and "account" (the item's identifier in upper case), and lives
// in the default collection. Every call talks to the service directly and blocks until it answers;
// there is no local fallback, so without a Secret Service saves fail and nothing is written.
class LibsecretSecretStore final : public SecretStore {
public:
    [[nodiscard]] Expected<void, KeychainError> saveSecret(const QUuid& id, const QByteArray& value) override;
    [[nodiscard]] Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid& id) override;
    void deleteItem(const QUuid& id) override;
};

inline constexpr const char* kSecureKeyringService = "com.kestrovane.Vesk.secure";

} // namespace vesk
