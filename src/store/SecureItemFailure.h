#pragma once

#include "platform/Expected.h"
#include "platform/KeychainError.h"

#include <QString>
#include <optional>

namespace vesk {

// Why a secure item was not saved, given with the result so that the form that asked says why
// of this save and no other.
struct SecureItemFailure {
    // The keyring refused the value; none when the keyring was not the cause.
    std::optional<KeychainError> keychain;
    // Why the library did not keep a new item, in plain words ("the disk is read-only"); empty
    // when the library was not the cause, or has nothing to add.
    QString libraryRefusal;
};

using SecureItemSave = Expected<void, SecureItemFailure>;

} // namespace vesk
