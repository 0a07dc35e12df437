#pragma once

#include "platform/SecretStore.h"

#include <QString>

#include <chrono>

namespace vesk {

// The secure items' entries in the system keyring, through the freedesktop Secret Service on the
// session bus (GNOME Keyring, KWallet, KeePassXC, ...). Each entry carries exactly two attributes:
// "service" (kSecureKeyringService) and "account" (the item's identifier in upper case), and lives
// in the default collection. Every call talks to the service directly and blocks until it answers;
// there is no local fallback, so without a Secret Service saves fail and nothing is written.
//
// An entry in a locked collection makes the service ask the user to unlock it (its own prompt);
// while it stays locked, reads, saves and deletes fail with the service's "locked" error rather
// than passing for a missing entry. A call gives up after unlockWait, so a prompt nobody can
// answer (no prompter running, one that hangs) cannot hold the caller for ever.
class LibsecretSecretStore final : public SecretStore {
public:
    explicit LibsecretSecretStore(std::chrono::milliseconds unlockWait = std::chrono::minutes(2));

    [[nodiscard]] Expected<void, KeychainError> saveSecret(const QUuid& id, const QByteArray& value) override;
    [[nodiscard]] Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid& id) override;
    Expected<void, KeychainError> deleteItem(const QUuid& id) override;

private:
    std::chrono::milliseconds m_unlockWait;
};

inline constexpr const char* kSecureKeyringService = "com.kestrovane.Vesk.secure";

} // namespace vesk
