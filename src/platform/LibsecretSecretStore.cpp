#include "platform/LibsecretSecretStore.h"

#include "platform/Uuid.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

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
using ObjectPtr = std::unique_ptr<GObject, ObjectDeleter>;

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using AttributesPtr = std::unique_ptr<GHashTable, HashTableDeleter>;

struct ListDeleter {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ItemsPtr = std::unique_ptr<GList, ListDeleter>;

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

// The main context of its own that one store call runs the service's asynchronous steps on, so
// that nothing else of the thread's runs meanwhile. GDBus hands the release of what the steps made
// there (the entries found, the service's prompts) back to this context as idle work once they are
// let go; the context runs that work before it goes, or each one's signal data would be lost with
// it. It is made after the connection to the service and goes after everything found through it.
class CallContext {
public:
    CallContext() : m_context(g_main_context_new()) { g_main_context_push_thread_default(m_context); }
    ~CallContext()
    {
        while (g_main_context_iteration(m_context, FALSE)) {
        }
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    CallContext(const CallContext&) = delete;
    CallContext& operator=(const CallContext&) = delete;

    GMainContext* get() const { return m_context; }

private:
    GMainContext* m_context;
};

// Runs one asynchronous call of the service on the call's context and waits for its answer, at
// most `wait`. The calls that may make the service ask the user to unlock a collection go through
// here: the service's prompt has no time limit of its own, and a prompter that never answers keeps
// it open for good. When the wait runs out the call is left behind on that context, which nothing
// runs any more once the store call ends. Its prompt is not dismissed: gnome-keyring can die when a
// prompt is dismissed before its prompter answered, and a prompt the user answers late does no harm.
class BoundedCall {
public:
    using Start = std::function<void(GAsyncReadyCallback, gpointer)>;

    // The call's result, or none when the wait ran out.
    static ObjectPtr run(const CallContext& context, std::chrono::milliseconds wait, const Start& start)
    {
        auto* call = new BoundedCall;
        start(&BoundedCall::answered, call);
        GSource* timer = g_timeout_source_new(guint(std::max<qint64>(0, wait.count())));
        g_source_set_callback(timer, &BoundedCall::timedOut, call, nullptr);
        g_source_attach(timer, context.get());
        while (!call->m_result && !call->m_timedOut)
            g_main_context_iteration(context.get(), TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
        ObjectPtr result(std::exchange(call->m_result, nullptr));
        if (result)
            delete call;
        else
            call->m_abandoned = true; // its callback frees it, should it ever run
        return result;
    }

private:
    static void answered(GObject*, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<BoundedCall*>(data);
        if (call->m_abandoned) {
            delete call;
            return;
        }
        call->m_result = G_OBJECT(g_object_ref(result));
    }
    static gboolean timedOut(gpointer data)
    {
        static_cast<BoundedCall*>(data)->m_timedOut = true;
        return G_SOURCE_REMOVE;
    }

    GObject* m_result = nullptr;
    bool m_timedOut = false;
    bool m_abandoned = false;
};

KeychainError timedOut()
{
    // GIO's own words for this code.
    return KeychainError::fromStatus(G_IO_ERROR_TIMED_OUT, QStringLiteral("Timeout was reached"));
}

// Every entry of the item, in every collection, locked or not. The service asks the user to
// unlock the locked ones first; those still locked afterwards come back without their secret.
Expected<ItemsPtr, KeychainError> findEntries(const CallContext& context, SecretService* service, const QUuid& id,
                                              SecretSearchFlags flags, std::chrono::milliseconds wait)
{
    const AttributesPtr attributes = entryAttributes(id);
    const ObjectPtr answer = BoundedCall::run(context, wait, [&](GAsyncReadyCallback done, gpointer data) {
        secret_service_search(service, vaultSchema(), attributes.get(),
                              SecretSearchFlags(flags | SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, done, data);
    });
    if (!answer)
        return unexpected(timedOut());
    GError* raw = nullptr;
    ItemsPtr items(secret_service_search_finish(service, G_ASYNC_RESULT(answer.get()), &raw));
    ErrorPtr error(raw);
    if (error)
        return unexpected(keychainError(error.get()));
    return items;
}

// Why an entry that is there gave no secret: asked for it once more, the service names the
// reason itself (for a locked entry, its "locked" error).
KeychainError unreadableEntry(SecretItem* item)
{
    GError* raw = nullptr;
    secret_item_load_secret_sync(item, nullptr, &raw);
    ErrorPtr error(raw);
    if (error)
        return keychainError(error.get());
    return KeychainError::fromStatus(secret_item_get_locked(item) ? SECRET_ERROR_IS_LOCKED : 0);
}

} // namespace

LibsecretSecretStore::LibsecretSecretStore(std::chrono::milliseconds unlockWait) : m_unlockWait(unlockWait) {}

Expected<void, KeychainError> LibsecretSecretStore::saveSecret(const QUuid& id, const QByteArray& value)
{
    auto service = connectService();
    if (!service)
        return unexpected(service.error());
    const AttributesPtr attributes = entryAttributes(id);
    const ValuePtr secret(secret_value_new(value.constData(), value.size(), "text/plain"));
    const QByteArray label = QStringLiteral("Vesk secure item %1").arg(uuidString(id)).toUtf8();
    // The service replaces an entry with the same attributes in place: no delete comes first, so a
    // refused write keeps the earlier value. A locked collection is offered for unlocking and,
    // left locked, refuses the write.
    const CallContext context;
    const ObjectPtr answer = BoundedCall::run(context, m_unlockWait, [&](GAsyncReadyCallback done, gpointer data) {
        secret_service_store(service->get(), vaultSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                             label.constData(), secret.get(), nullptr, done, data);
    });
    if (!answer)
        return unexpected(timedOut());
    GError* raw = nullptr;
    const gboolean stored = secret_service_store_finish(service->get(), G_ASYNC_RESULT(answer.get()), &raw);
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
    // Not a plain lookup: it answers nothing, without an error, for an entry that is locked, which
    // would pass for a missing one.
    const CallContext context;
    auto entries = findEntries(context, service->get(), id, SECRET_SEARCH_LOAD_SECRETS, m_unlockWait);
    if (!entries)
        return unexpected(entries.error());
    GList* const items = entries->get();
    if (!items)
        return std::optional<QByteArray>();
    for (GList* node = items; node; node = node->next) {
        const ValuePtr secret(secret_item_get_secret(static_cast<SecretItem*>(node->data)));
        if (!secret)
            continue;
        gsize length = 0;
        const gchar* bytes = secret_value_get(secret.get(), &length);
        return std::optional<QByteArray>(QByteArray(bytes, qsizetype(length)));
    }
    return unexpected(unreadableEntry(static_cast<SecretItem*>(items->data)));
}

Expected<void, KeychainError> LibsecretSecretStore::deleteItem(const QUuid& id)
{
    auto service = connectService();
    if (!service)
        return unexpected(service.error());
    const CallContext context;
    auto entries = findEntries(context, service->get(), id, SECRET_SEARCH_NONE, m_unlockWait);
    if (!entries)
        return unexpected(entries.error());
    // Every entry is tried; the first refusal (a locked one, for instance) is the answer.
    std::optional<KeychainError> refused;
    for (GList* node = entries->get(); node; node = node->next) {
        GError* raw = nullptr;
        const gboolean removed = secret_item_delete_sync(static_cast<SecretItem*>(node->data), nullptr, &raw);
        ErrorPtr error(raw);
        if (!removed && !refused)
            refused = keychainError(error.get());
    }
    if (refused)
        return unexpected(*refused);
    return {};
}

} // namespace vesk
