#include "secure/CreditCardPayload.h"

#include <QStringList>

namespace vesk {

QString CreditCardPayload::keychainText() const
{
    return number + QLatin1Char('\n') + expiration + QLatin1Char('\n') + cvv;
}

std::optional<CreditCardPayload> CreditCardPayload::fromKeychainText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    if (parts.size() != 3)
        return std::nullopt;
    return CreditCardPayload{parts.at(0), parts.at(1), parts.at(2)};
}

} // namespace vesk
