#include "platform/KeychainError.h"

namespace vesk {

KeychainError KeychainError::fromStatus(int status, const QString& message)
{
    return {Kind::Status, status, message};
}

KeychainError KeychainError::invalidCreditCardPayload()
{
    return {Kind::InvalidCreditCardPayload, 0, {}};
}

KeychainError KeychainError::unavailable(const QString& detail)
{
    return {Kind::Unavailable, 0, detail};
}

QString KeychainError::localizedDescription() const
{
    switch (kind) {
    case Kind::Status:
        if (!message.trimmed().isEmpty())
            return message;
        return QStringLiteral("System keyring error %1").arg(status);
    case Kind::InvalidCreditCardPayload:
        return QStringLiteral("Vesk couldn't read the protected credit-card data.");
    case Kind::Unavailable:
        return QStringLiteral("The system keyring is not available: no Secret Service (such as GNOME Keyring "
                              "or KWallet) is running in this session.");
    }
    return {};
}

QString KeychainError::printedForm() const
{
    switch (kind) {
    case Kind::Status:
        return QStringLiteral("status(%1)").arg(status);
    case Kind::InvalidCreditCardPayload:
        return QStringLiteral("invalidCreditCardPayload");
    case Kind::Unavailable:
        return message.isEmpty() ? QStringLiteral("unavailable") : QStringLiteral("unavailable(%1)").arg(message);
    }
    return {};
}

} // namespace vesk
