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
    store.deleteItem(id); // nothing there: no failure, nothing else removed

    const QUuid other = QUuid::createUuid();
    ASSERT_TRUE(store.saveSecret(id, "gone soon"));
    ASSERT_TRUE(store.saveSecret(other, "stays"));
    store.deleteItem(id);
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
    store.deleteItem(id);

    // No fallback file anywhere this process may write: the test root holds the data folder,
    // the settings, XDG data and config homes.
    QDirIterator files(test::testRoot(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            EXPECT_FALSE(file.readAll().contains(secret)) << file.fileName().toStdString();
    }
}
