#include "secure/SecureVeskKeychain.h"

#include "platform/SecretStore.h"

#include <QStringDecoder>

namespace vesk::SecureVeskKeychain {

namespace {

// Strict UTF-8: a byte-order mark stays part of the text, invalid bytes give none.
std::optional<QString> decodedText(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

Expected<void, KeychainError> saveSecret(SecretStore& store, const QString& secret, const QUuid& id)
{
    return store.saveSecret(id, secret.toUtf8());
}

Expected<void, KeychainError> saveCreditCard(SecretStore& store, const CreditCardPayload& payload, const QUuid& id)
{
    return store.saveSecret(id, payload.keychainText().toUtf8());
}

Expected<std::optional<QString>, KeychainError> readSecret(SecretStore& store, const QUuid& id)
{
    auto bytes = store.readSecret(id);
    if (!bytes)
        return unexpected(bytes.error());
    if (!bytes->has_value())
        return std::optional<QString>();
    return decodedText(**bytes);
}

Expected<std::optional<CreditCardPayload>, KeychainError> readCreditCard(SecretStore& store, const QUuid& id)
{
    auto bytes = store.readSecret(id);
    if (!bytes)
        return unexpected(bytes.error());
    if (!bytes->has_value())
        return std::optional<CreditCardPayload>();
    const std::optional<QString> text = decodedText(**bytes);
    const std::optional<CreditCardPayload> payload = text ? CreditCardPayload::fromKeychainText(*text) : std::nullopt;
    if (!payload)
        return unexpected(KeychainError::invalidCreditCardPayload());
    return std::optional<CreditCardPayload>(*payload);
}

} // namespace vesk::SecureVeskKeychain
