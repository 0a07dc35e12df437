// The secret store against a real gnome-keyring-daemon on a private session bus (see
// common/TestKeyring.h): the user's own keyring is never reached.
#include "common/TestEnvironment.h"
#include "common/TestKeyring.h"
#include "platform/LibsecretSecretStore.h"
#include "platform/Uuid.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QMultiMap>
#include <QProcess>

#include <chrono>

#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <gtest/gtest.h>

using namespace vesk;

namespace {

// Every entry of the service, however it was written: account -> value.
QMultiMap<QString, QByteArray> serviceEntries()
{
    QMultiMap<QString, QByteArray> entries;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, nullptr);
    if (!service)
        return entries;
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, gpointer("service"), gpointer(kSecureKeyringService));
    GList* items = secret_service_search_sync(service, nullptr, attributes,
                                              SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
                                              nullptr, nullptr);
    for (GList* node = items; node; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        GHashTable* itemAttributes = secret_item_get_attributes(item);
        const auto* account = static_cast<const char*>(g_hash_table_lookup(itemAttributes, "account"));
        SecretValue* value = secret_item_get_secret(item);
        gsize length = 0;
        const char* bytes = value ? secret_value_get(value, &length) : "";
        entries.insert(QString::fromUtf8(account ? account : ""), QByteArray(bytes, qsizetype(length)));
        if (value)
            secret_value_unref(value);
        g_hash_table_unref(itemAttributes);
    }
    g_list_free_full(items, g_object_unref);
    g_hash_table_unref(attributes);
    g_object_unref(service);
    return entries;
}

// A collection of the test keyring that the test can lock and unlock without any prompt, through
// gnome-keyring's own password calls, and that stands in as the default collection (where the
// store writes) while it lives; the login collection is the default again afterwards.
class LockableDefaultCollection {
public:
    LockableDefaultCollection()
    {
        m_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GVariant* opened = call("org.freedesktop.Secret.Service", "OpenSession",
                                g_variant_new("(sv)", "plain", g_variant_new_string("")));
        if (opened) {
            GVariant* output = nullptr;
            const char* session = nullptr;
            g_variant_get(opened, "(v&o)", &output, &session);
            m_session = session;
            g_variant_unref(output);
            g_variant_unref(opened);
        }
        if (GVariant* alias = call("org.freedesktop.Secret.Service", "ReadAlias", g_variant_new("(s)", "default"))) {
            const char* path = nullptr;
            g_variant_get(alias, "(&o)", &path);
            m_previousDefault = path;
            g_variant_unref(alias);
        }
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
        const QByteArray label = "lockable " + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Collection.Label",
                              g_variant_new_string(label.constData()));
        if (GVariant* created = call(kInternal, "CreateWithMasterPassword",
                                     g_variant_new("(a{sv}@(oayays))", &properties, password()))) {
            const char* path = nullptr;
            g_variant_get(created, "(&o)", &path);
            m_path = path;
            g_variant_unref(created);
        }
        m_ready = !m_path.isEmpty() && !m_previousDefault.isEmpty() && setDefault(m_path);
    }
    ~LockableDefaultCollection()
    {
        if (!m_previousDefault.isEmpty())
            setDefault(m_previousDefault);
        unlock();
        if (!m_path.isEmpty())
            release(g_dbus_connection_call_sync(m_bus, kSecrets, m_path.constData(),
                                                "org.freedesktop.Secret.Collection", "Delete", nullptr, nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr));
        g_object_unref(m_bus);
    }

    bool ready() const { return m_ready; }
    bool lock()
    {
        const char* paths[] = {m_path.constData()};
        return release(call("org.freedesktop.Secret.Service", "Lock",
                            g_variant_new("(@ao)", g_variant_new_objv(paths, 1))));
    }
    bool unlock()
    {
        return release(call(kInternal, "UnlockWithMasterPassword",
                            g_variant_new("(o@(oayays))", m_path.constData(), password())));
    }

private:
    static constexpr const char* kSecrets = "org.freedesktop.secrets";
    static constexpr const char* kInternal = "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface";

    GVariant* call(const char* interface, const char* method, GVariant* arguments)
    {
        return g_dbus_connection_call_sync(m_bus, kSecrets, "/org/freedesktop/secrets", interface, method, arguments,
                                           nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    }
    static bool release(GVariant* reply)
    {
        if (reply)
            g_variant_unref(reply);
        return reply != nullptr;
    }
    bool setDefault(const QByteArray& path)
    {
        return release(
            call("org.freedesktop.Secret.Service", "SetAlias", g_variant_new("(so)", "default", path.constData())));
    }
    // The collection's password as the service takes a secret in a plain session.
    GVariant* password() const
    {
        static const char text[] = "lockable-collection";
        return g_variant_new("(o@ay@ays)", m_session.isEmpty() ? "/" : m_session.constData(),
                             g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
                             g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, text, sizeof text - 1, 1), "text/plain");
    }

    GDBusConnection* m_bus = nullptr;
    QByteArray m_session;
    QByteArray m_previousDefault;
    QByteArray m_path;
    bool m_ready = false;
};

// Takes the prompter's name on the bus and never answers: the keyring's unlock prompt stays
// open, as when the user walks away from it.
class SilentPrompter {
public:
    SilentPrompter()
    {
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        m_connection = g_dbus_connection_new_for_address_sync(
            address,
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                 | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        g_free(address);
        if (!m_connection)
            return;
        g_dbus_connection_add_filter(m_connection, &SilentPrompter::swallowCalls, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            m_connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.gnome.keyring.SystemPrompter", 4u /* DBUS_NAME_FLAG_DO_NOT_QUEUE */),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply) {
            guint32 answer = 0;
            g_variant_get(reply, "(u)", &answer);
            m_owned = answer == 1; // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
            g_variant_unref(reply);
        }
    }
    ~SilentPrompter()
    {
        if (m_connection) {
            g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
            g_object_unref(m_connection);
        }
    }
    bool ready() const { return m_owned; }

private:
    static GDBusMessage* swallowCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer)
    {
        if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
            g_object_unref(message);
            return nullptr;
        }
        return message;
    }

    GDBusConnection* m_connection = nullptr;
    bool m_owned = false;
};

class KeyringTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QString failure = test::useTestKeyring();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }

    LibsecretSecretStore store;
};

} // namespace

TEST_F(KeyringTest, SavingTwiceLeavesOneEntryWithTheLastValueUnderTheUpperCaseIdentifier)
{
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(store.saveSecret(id, "first"));
    ASSERT_TRUE(store.saveSecret(id, "second"));
    EXPECT_EQ(store.readSecret(id).value(), QByteArray("second"));

    const QString account = id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(serviceEntries().values(account), QList<QByteArray>{"second"});
    EXPECT_TRUE(serviceEntries().values(account.toLower()).isEmpty());
}

TEST_F(KeyringTest, MissingEntriesReadAsNothingAndDeletingThemIsQuiet)
{
    const QUuid id = QUuid::createUuid();
    auto missing = store.readSecret(id);
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->has_value());
    EXPECT_TRUE(store.deleteItem(id)); // nothing there: no failure, nothing else removed

    const QUuid other = QUuid::createUuid();
    ASSERT_TRUE(store.saveSecret(id, "gone soon"));
    ASSERT_TRUE(store.saveSecret(other, "stays"));
    EXPECT_TRUE(store.deleteItem(id));
    EXPECT_FALSE(store.readSecret(id).value().has_value());
    EXPECT_FALSE(serviceEntries().contains(uuidString(id)));
    EXPECT_EQ(store.readSecret(other).value(), QByteArray("stays"));
}

TEST_F(KeyringTest, ValuesComeBackByteForByte)
{
    const QByteArray values[] = {
        QByteArray(),                                // empty
        QByteArray("line one\nline two\n\n"),        // line feeds
        QByteArray("4111111111111111\n\n123"),       // a card with an empty expiration
        QByteArray("\xef\xbb\xbf bom and \xc3\xa9"), // a byte-order mark and accents
        QByteArray("\xff\x00\xfe", 3),               // not text at all
    };
    for (const QByteArray& value : values) {
        const QUuid id = QUuid::createUuid();
        ASSERT_TRUE(store.saveSecret(id, value)) << value.toHex().toStdString();
        EXPECT_EQ(store.readSecret(id).value(), std::optional<QByteArray>(value)) << value.toHex().toStdString();
    }
}

TEST_F(KeyringTest, AnEntryUnderTheLowerCaseIdentifierIsNotTheItems)
{
    static const SecretSchema schema = {"other.client", SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}}};
    const QUuid id = QUuid::createUuid();
    const QByteArray lower = id.toString(QUuid::WithoutBraces).toLower().toUtf8();
    ASSERT_TRUE(secret_password_store_sync(&schema, SECRET_COLLECTION_DEFAULT, "other", "lower-case", nullptr, nullptr,
                                           "service", kSecureKeyringService, "account", lower.constData(), nullptr));
    EXPECT_FALSE(store.readSecret(id).value().has_value());
}

TEST_F(KeyringTest, AFailedWriteKeepsTheEarlierValue)
{
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(store.saveSecret(id, "earlier"));

    // Take the default collection's alias away: a new write has nowhere to go (making a
    // collection needs a prompt, and the private bus has no prompter), while the earlier entry
    // stays where it is. Removing the entry before writing would lose it here.
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    SecretCollection* login =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
    ASSERT_NE(login, nullptr);
    ASSERT_TRUE(secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, nullptr, nullptr, nullptr));

    auto refused = store.saveSecret(id, "later");
    EXPECT_FALSE(refused);
    EXPECT_EQ(store.readSecret(id).value(), std::optional<QByteArray>("earlier"));

    EXPECT_TRUE(secret_service_set_alias_sync(service, SECRET_COLLECTION_DEFAULT, login, nullptr, nullptr));
    g_object_unref(login);
    g_object_unref(service);
}

// The test keyring has no prompter, so the unlock the service asks for is dismissed at once, as
// when the user refuses it. The store waits at most 20 seconds for any call, so a prompt that
// stayed open would fail the test rather than hang it.
TEST_F(KeyringTest, ALockedEntryIsAFailedReadAndRefusesWritesAndDeletesUntilUnlocked)
{
    LockableDefaultCollection collection;
    ASSERT_TRUE(collection.ready());
    LibsecretSecretStore bounded(std::chrono::seconds(20));
    const QUuid kept = QUuid::createUuid();
    const QUuid missing = QUuid::createUuid();
    ASSERT_TRUE(bounded.saveSecret(kept, "earlier"));
    ASSERT_TRUE(collection.lock());

    auto locked = bounded.readSecret(kept);
    ASSERT_FALSE(locked) << "a locked entry read as " << (locked->has_value() ? "a value" : "no entry");
    EXPECT_EQ(locked.error().kind, KeychainError::Kind::Status);
    EXPECT_EQ(locked.error().status, SECRET_ERROR_IS_LOCKED);
    EXPECT_FALSE(locked.error().localizedDescription().isEmpty());
    auto absent = bounded.readSecret(missing);
    ASSERT_TRUE(absent) << "an identifier without any entry is still no entry";
    EXPECT_FALSE(absent->has_value());

    EXPECT_FALSE(bounded.saveSecret(kept, "later"));
    EXPECT_FALSE(bounded.saveSecret(missing, "new"));
    auto deleted = bounded.deleteItem(kept);
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().status, SECRET_ERROR_IS_LOCKED);

    // Nothing of the refused calls reached the entries.
    ASSERT_TRUE(collection.unlock());
    EXPECT_EQ(bounded.readSecret(kept).value(), std::optional<QByteArray>("earlier"));
    EXPECT_FALSE(bounded.readSecret(missing).value().has_value());
    EXPECT_TRUE(bounded.deleteItem(kept));
    EXPECT_FALSE(bounded.readSecret(kept).value().has_value());
}

// A prompt left open (here by a prompter that never answers) ends the call at the store's wait,
// as a failure; once the prompter is gone, the next call is answered as before.
TEST_F(KeyringTest, AnUnlockPromptNobodyAnswersEndsAtTheWaitAsAFailure)
{
    LockableDefaultCollection collection;
    ASSERT_TRUE(collection.ready());
    const QUuid id = QUuid::createUuid();
    ASSERT_TRUE(store.saveSecret(id, "behind the lock"));
    ASSERT_TRUE(collection.lock());
    {
        SilentPrompter prompter;
        ASSERT_TRUE(prompter.ready());
        LibsecretSecretStore impatient(std::chrono::milliseconds(100));
        auto read = impatient.readSecret(id);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().status, G_IO_ERROR_TIMED_OUT) << read.error().printedForm().toStdString();
        auto saved = impatient.saveSecret(id, "later");
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().status, G_IO_ERROR_TIMED_OUT) << saved.error().printedForm().toStdString();
    }
    // The daemon shows one prompt at a time, and the two left open above are ended only once it
    // has seen the prompter go; on a loaded machine that can outlast one wait. The store is
    // asked again then: what matters is that it is answered, with the lock, not stuck.
    LibsecretSecretStore bounded(std::chrono::seconds(20));
    auto again = bounded.readSecret(id);
    for (int attempt = 1; attempt < 4 && !again && again.error().status == G_IO_ERROR_TIMED_OUT; ++attempt)
        again = bounded.readSecret(id);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().status, SECRET_ERROR_IS_LOCKED) << again.error().printedForm().toStdString();
    ASSERT_TRUE(collection.unlock());
    EXPECT_EQ(bounded.readSecret(id).value(), std::optional<QByteArray>("behind the lock"));
}

// GLib keeps the first session bus it opens, so a process that has a keyring cannot lose it:
// the case without one runs in a child process of this same executable.
TEST(SecretStoreWithoutService, SavingFailsClearlyAndNothingIsWrittenAnywhere)
{
    if (!qEnvironmentVariableIsSet("VESK_TEST_CHILD_WITHOUT_KEYRING")) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VESK_TEST_CHILD_WITHOUT_KEYRING"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=SecretStoreWithoutService.*")});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
        return;
    }

    const QString failure = test::useBusWithoutKeyring();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    LibsecretSecretStore store;
    const QUuid id = QUuid::createUuid();
    const QByteArray secret = "plain-text-must-not-appear-8b1f";

    auto saved = store.saveSecret(id, secret);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().kind, KeychainError::Kind::Unavailable);
    EXPECT_TRUE(saved.error().localizedDescription().startsWith(QStringLiteral("The system keyring is not available")));
    auto read = store.readSecret(id);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, KeychainError::Kind::Unavailable);
    EXPECT_FALSE(store.deleteItem(id));

    // No fallback file anywhere this process may write: the test root holds the data folder,
    // the settings, XDG data and config homes.
    QDirIterator files(test::testRoot(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(file.readAll().contains(secret)) << file.fileName().toStdString();
        }
    }
}
