#pragma once

#include "platform/Expected.h"
#include "platform/KeychainError.h"

#include <QByteArray>
#include <QUuid>
#include <optional>

namespace vesk {

// The system keyring entries of secure items: one entry per item, named by the item's identifier,
// holding bytes that never touch the library's own files.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // Makes value the item's entry. An existing entry is replaced in one step, so a failed write
    // leaves the earlier value in place.
    [[nodiscard]] virtual Expected<void, KeychainError> saveSecret(const QUuid& id, const QByteArray& value) = 0;
    // The entry's bytes; none when the item has no entry.
    [[nodiscard]] virtual Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid& id) = 0;
    // Removes the item's entry; a missing entry or a failing removal is not reported.
    virtual void deleteItem(const QUuid& id) = 0;
};

// For a store without a keyring: nothing is kept anywhere, saves and reads fail as unavailable.
class NullSecretStore final : public SecretStore {
public:
    [[nodiscard]] Expected<void, KeychainError> saveSecret(const QUuid&, const QByteArray&) override
    {
        return unexpected(KeychainError::unavailable());
    }
    [[nodiscard]] Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid&) override
    {
        return unexpected(KeychainError::unavailable());
    }
    void deleteItem(const QUuid&) override {}
};

} // namespace vesk
