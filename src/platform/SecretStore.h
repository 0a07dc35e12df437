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
    // The entry's bytes; none only when the item has no entry. An entry that is there but cannot
    // be read (a locked keyring the user did not unlock, for one) is an error, never none.
    [[nodiscard]] virtual Expected<std::optional<QByteArray>, KeychainError> readSecret(const QUuid& id) = 0;
    // Removes the item's entry. A missing entry is success; an entry that stays (locked, or the
    // removal refused) is an error, which callers may log but need not act on.
    virtual Expected<void, KeychainError> deleteItem(const QUuid& id) = 0;
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
    Expected<void, KeychainError> deleteItem(const QUuid&) override { return {}; }
};

} // namespace vesk
