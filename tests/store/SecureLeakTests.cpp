// A secure item's protected values reach the system keyring and nothing else: after creating,
// editing, searching and snapshotting, no file of the library folder nor the settings file, and
// no log line, holds them. Runs the application's real services against a private test keyring.
#include "common/TestEnvironment.h"
#include "common/TestKeyring.h"
#include "platform/Settings.h"
#include "platform/Log.h"
#include "search/LexicalMatch.h"
#include "secure/SecureVeskKeychain.h"
#include "store/RealServices.h"
#include "store/SQLiteDatabase.h"
#include "store/StoreInternals.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string_view>

namespace vesk::test {
namespace {

// Every file under the folder, and the extra files, that holds the needle.
QStringList filesHolding(const QString& folder, const QStringList& extraFiles, const QByteArray& needle)
{
    QStringList paths = extraFiles;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext())
        paths << files.next();
    QStringList holding;
    for (const QString& path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            holding << path;
    }
    return holding;
}

TEST(SecureItemLeaks, ProtectedValuesReachNoFileNoIndexAndNoLogLine)
{
    const QString keyring = useTestKeyring();
    ASSERT_TRUE(keyring.isEmpty()) << keyring.toStdString();
    QStringList logLines;
    setVeskLogCapture([&logLines](const QString& line) { logLines << line; });

    const QString dataDir = makeTempDirectory(QStringLiteral("leaks"));
    VeskServices services = makeRealServices(dataDir);
    services.lexicalSearchDelayMs = 1;
    services.deepSearchDelayMs = 2;
    const QStringList secrets{QStringLiteral("Sesame-first-4f9c2a"), QStringLiteral("Sesame-second-b71e0d"),
                              QStringLiteral("4000056655665556"), QStringLiteral("378282246310005")};
    const QStringList codes{QStringLiteral("987"), QStringLiteral("1234")};

    auto store = std::make_unique<VeskStore>(services);
    const auto expectNoFileOrLineHolds = [&](const char* stage) {
        for (const QString& needle : secrets) {
            EXPECT_EQ(filesHolding(dataDir, {IniSettings::defaultFilePath()}, needle.toUtf8()), QStringList())
                << stage << ": " << needle.toStdString();
            EXPECT_EQ(logLines.filter(needle), QStringList()) << stage << ": " << needle.toStdString();
        }
    };
    // Searches for every protected value, snapshots, then looks at everything the library keeps.
    const auto expectNothingHolds = [&](const char* stage) {
        for (const QString& query : secrets) {
            store->setSearchText(query);
            store->refreshFilteredItems(query);
            EXPECT_TRUE(store->lexicalMatch(query).scores.isEmpty()) << stage << ": " << query.toStdString();
        }
        store->setSearchText(QString());
        services.recoverySnapshots->synchronousSnapshot(QStringLiteral("secure-item check"));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        for (const VeskItem& item : store->items()) {
            for (const QString& field : {item.title, decodedText(item.text), item.note, item.searchableText.toString()}) {
                for (const QString& code : codes)
                    EXPECT_FALSE(field.contains(code)) << stage << ": a card code in " << field.toStdString();
            }
        }
        expectNoFileOrLineHolds(stage);
    };

    ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router admin"), QStringLiteral("home"), secrets[0],
                                     QStringLiteral("in the hall")));
    const VeskItem password = store->items().first();
    ASSERT_TRUE(store->addCreditCard(QStringLiteral("Travel card"), QString(), secrets[2], QStringLiteral("12/26"),
                                     codes[0], QString()));
    const VeskItem card = store->items().first();
    expectNothingHolds("created");

    ASSERT_TRUE(store->updateSecureItem(password, QStringLiteral("Router"), QStringLiteral("home"), secrets[1],
                                        QString()));
    ASSERT_TRUE(store->updateCreditCard(card, QStringLiteral("Travel card"), QStringLiteral("joint"), secrets[3],
                                        QStringLiteral("01/30"), codes[1], QString()));
    EXPECT_EQ(SecureVeskKeychain::readSecret(*services.secrets, password.id).value(), secrets[1]);
    EXPECT_EQ(SecureVeskKeychain::readCreditCard(*services.secrets, card.id).value()->number, secrets[3]);
    expectNothingHolds("edited");

    store.reset(); // the database closes and folds its journal in
    expectNoFileOrLineHolds("closed");
    setVeskLogCapture({});
    EXPECT_TRUE(QFile::exists(dataDir + QStringLiteral("/vesk.sqlite3"))) << "the check looked at a real library";
}

// Refuses every write of an item row on the store's connections, as a disk that filled after the
// library was opened does.
void refuseItemRows(VeskStore& store)
{
    for (SQLiteDatabase* database : {StoreInternals::database(store), StoreInternals::backgroundDatabase(store)}) {
        sqlite3_set_authorizer(
            database->nativeHandleForTesting(),
            [](void*, int action, const char* table, const char*, const char*, const char*) {
                const bool itemRow = table && std::string_view(table) == "vesks";
                return (action == SQLITE_INSERT || action == SQLITE_UPDATE) && itemRow ? SQLITE_DENY : SQLITE_OK;
            },
            nullptr);
    }
}

// A new secure item whose row never reached the library file is given up when Vesk closes (the
// window says so first); its secret leaves the keyring with it. A secure item the file holds keeps
// its secret, even when its last edit could not be written.
TEST(SecureItemLeaks, TheSecretOfANewItemTheLibraryNeverKeptLeavesTheKeyringWithIt)
{
    const QString keyring = useTestKeyring();
    ASSERT_TRUE(keyring.isEmpty()) << keyring.toStdString();
    setVeskLogCapture([](const QString&) {});
    const QString dataDir = makeTempDirectory(QStringLiteral("given-up"));
    VeskServices services = makeRealServices(dataDir);
    const auto secretOf = [&](const QUuid& id) {
        const auto read = services.secrets->readSecret(id);
        EXPECT_TRUE(read.hasValue());
        return read ? read.value() : std::optional<QByteArray>();
    };

    QUuid router, bank, card, locker;
    {
        auto store = std::make_unique<VeskStore>(services);
        store->waitForStartup();
        ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router"), QString(), QStringLiteral("router-pw"), QString()));
        router = store->items().first().id;
        refuseItemRows(*store);
        EXPECT_FALSE(store->addSecureItem(QStringLiteral("Bank"), QString(), QStringLiteral("bank-pw"), QString()));
        bank = store->items().first().id;
        EXPECT_FALSE(store->addCreditCard(QStringLiteral("Travel card"), QString(), QStringLiteral("4000056655665556"),
                                          QStringLiteral("12/26"), QStringLiteral("987"), QString()));
        card = store->items().first().id;
        const VeskItem routerItem = store->items().at(store->indexOfItem(router));
        EXPECT_FALSE(store->updateSecureItem(routerItem, QStringLiteral("Router"), QString(),
                                             QStringLiteral("router-new"), QString()));
        ASSERT_EQ(store->unsavedItemIDs(), (QSet<QUuid>{router, bank, card}));
        ASSERT_TRUE(secretOf(bank));
        ASSERT_TRUE(secretOf(card));
    }
    EXPECT_FALSE(secretOf(bank)) << "given up with its item";
    EXPECT_FALSE(secretOf(card)) << "given up with its item";
    EXPECT_EQ(secretOf(router), std::optional<QByteArray>("router-new")) << "its item is in the library";

    {
        // Added while the library file is checked after start-up, and the store gone before the
        // check let its row be written.
        auto store = std::make_unique<VeskStore>(services);
        ASSERT_TRUE(store->libraryCheckPending());
        ASSERT_TRUE(store->addSecureItem(QStringLiteral("Locker"), QString(), QStringLiteral("locker-pw"), QString()));
        locker = store->items().first().id;
        ASSERT_TRUE(store->savingItemIDs().contains(locker));
    }
    EXPECT_FALSE(secretOf(locker));
    EXPECT_EQ(secretOf(router), std::optional<QByteArray>("router-new"));
    setVeskLogCapture({});
}

} // namespace
} // namespace vesk::test
