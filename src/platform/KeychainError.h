#pragma once

#include <QString>

namespace vesk {

// Why a system keyring operation failed.
struct KeychainError {
    enum class Kind {
        // The Secret Service answered with an error: `status` is its code, `message` its own text.
        Status,
        // A card entry that does not hold exactly three lines.
        InvalidCreditCardPayload,
        // No Secret Service on the session bus (or no session bus at all).
        Unavailable,
    };

    Kind kind = Kind::Status;
    int status = 0;
    QString message;

    static KeychainError fromStatus(int status, const QString& message = {});
    static KeychainError invalidCreditCardPayload();
    static KeychainError unavailable(const QString& detail = {});

    // What the user reads: the service's own message when it gave one, else a fixed text.
    QString localizedDescription() const;
    // The case and its payload, for log lines: "status(2)", "invalidCreditCardPayload",
    // "unavailable".
    QString printedForm() const;

    friend bool operator==(const KeychainError&, const KeychainError&) = default;
};

} // namespace vesk
