#pragma once

#include <QString>
#include <optional>

namespace vesk {

// The protected part of a credit-card item, kept only in the system keyring.
struct CreditCardPayload {
    QString number;     // digits only
    QString expiration; // as entered, trimmed; the forms shape it "MM/YY"
    QString cvv;        // digits only

    friend bool operator==(const CreditCardPayload&, const CreditCardPayload&) = default;

    // The keyring value: number, expiration and code joined by line feeds, none at the end.
    QString keychainText() const;
    // Exactly three line-feed separated parts (empty parts count); anything else is no payload.
    static std::optional<CreditCardPayload> fromKeychainText(const QString& text);
};

} // namespace vesk
