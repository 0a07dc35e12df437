#include "platform/LibsecretSecretStore.h"

#include "platform/Uuid.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <memory>

namespace vesk {

namespace {

const SecretSchema* vaultSchema()
{
    // Entries are matched by their two attributes alone, so an entry written by another client
    // under the same service and account (secret-tool, for one) is the same entry.
    static const SecretSchema schema = {
        kSecureKeyringService,
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
    };
    return &schema;
}

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using ServicePtr = std::unique_ptr<SecretService, ObjectDeleter>;

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using AttributesPtr = std::unique_ptr<GHashTable, HashTableDeleter>;

struct ValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueDeleter>;

QString errorText(const GError* error)
{
    return error ? QString::fromUtf8(error->message) : QString();
}

// The bus has no Secret Service, or there is no bus to ask.
bool meansUnavailable(const GError* error)
{
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND);
}

KeychainError keychainError(const GError* error)
{
    if (meansUnavailable(error))
        return KeychainError::unavailable(errorText(error));
    return KeychainError::fromStatus(error ? error->code : 0, errorText(error));
}

// The session's Secret Service with an open session; failing to reach it means unavailable.
Expected<ServicePtr, KeychainError> connectService()
{
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw);
    ErrorPtr error(raw);
    if (!service)
        return unexpected(KeychainError::unavailable(errorText(error.get())));
    return ServicePtr(service);
}

AttributesPtr entryAttributes(const QUuid& id)
{
    const QByteArray account = uuidString(id).toUtf8();
    return AttributesPtr(secret_attributes_build(vaultSchema(), "service", kSecureKeyringService, "account",
                                                 account.constData(), nullptr));
}

} // namespace

Expected<void, KeychainError> LibsecretSecretStore::saveSecret(const QUuid& id, const QByteArray& value)
{
    auto service = connectService();
    if (!service)
        return unexpected(service.error());
    const AttributesPtr attributes = entryAttributes(id);
    const ValuePtr secret(secret_value_new(value.constData(), value.size(), "text/plain"));
    const QByteArray label = QStringLiteral("Vesk secure item %1").arg(uuidString(id)).toUtf8();
    GError* raw = nullptr;
    // The service replaces an entry with the same attributes in place: no delete comes first, so a
    // refused write keeps the earlier value.
    const gboolean stored = secret_service_store_sync(service->get(), vaultSchema(), attributes.get(),
                                                      SECRET_COLLECTION_DEFAULT, label.constData(), secret.get(),
                                                      nullptr, &raw);
    ErrorPtr error(raw);
    if (!stored)
        return unexpected(keychainError(error.get()));
    return {};
}

Expected<std::optional<QByteArray>, KeychainError> LibsecretSecretStore::readSecret(const QUuid& id)
{
    auto service = connectService();
    if (!service)
        return unexpected(service.error());
    const AttributesPtr attributes = entryAttributes(id);
    GError* raw = nullptr;
    const ValuePtr secret(secret_service_lookup_sync(service->get(), vaultSchema(), attributes.get(), nullptr, &raw));
    ErrorPtr error(raw);
    if (error)
        return unexpected(keychainError(error.get()));
    if (!secret)
        return std::optional<QByteArray>();
    gsize length = 0;
    const gchar* bytes = secret_value_get(secret.get(), &length);
    return std::optional<QByteArray>(QByteArray(bytes, qsizetype(length)));
}

void LibsecretSecretStore::deleteItem(const QUuid& id)
{
    auto service = connectService();
    if (!service)
        return;
    const AttributesPtr attributes = entryAttributes(id);
    GError* raw = nullptr;
    secret_service_clear_sync(service->get(), vaultSchema(), attributes.get(), nullptr, &raw);
    ErrorPtr error(raw);
}

} // namespace vesk
