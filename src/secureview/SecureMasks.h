#pragma once
// What the secure preview shows for a protected value while it is hidden. The masks give away
// no more than a rough length (a password) or the card's kind (a number's grouping).

#include <QString>

namespace vesk {

// One bullet per character of the secret, but at least 8 and at most 18.
QString maskedSecret(const QString& secret);
// "•••• •••••• •••••" for a number starting with 34 or 37, else "•••• •••• •••• ••••".
QString maskedCardNumber(const QString& number);
// Always "••/••".
QString maskedExpiration();
// One bullet per character of the code, but at least 3.
QString maskedCode(const QString& code);

} // namespace vesk
