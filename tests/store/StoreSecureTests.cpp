#include "common/StoreFixture.h"

#include "platform/Uuid.h"
#include "secure/CreditCardPayload.h"

#include <functional>

namespace vesk::test {
namespace {

using StoreSecureTest = StoreFixture;

const KeychainError kRefused = KeychainError::fromStatus(2, QStringLiteral("Cannot create an item in a locked collection"));

TEST_F(StoreSecureTest, NewSecretGoesToTheKeyringAsTypedAndTheItemCarriesOnlyItsReferenceData)
{
    auto store = makeStore();
    ASSERT_TRUE(store->addSecureItem(QStringLiteral("  Router admin "), QStringLiteral(" home\n"),
                                     QStringLiteral(" hunter2 "), QStringLiteral(" in the hall ")));
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem item = store->items().first();
    EXPECT_EQ(store->selectedID(), item.id);
    EXPECT_EQ(item.title, QStringLiteral("Router admin"));
    EXPECT_EQ(item.kind, VeskKind::Text);
    EXPECT_EQ(item.createdAt, clock->now());
    EXPECT_EQ(item.note, QStringLiteral("home")) << "details go to note";
    EXPECT_EQ(item.text, QStringLiteral("in the hall")) << "the reference note goes to text";
    EXPECT_EQ(item.searchableText, QStringLiteral("__vesk_secure__ Router admin home in the hall"));
    EXPECT_FALSE(item.urlString || item.filePath || item.groupID || item.sourceItemID);
    EXPECT_EQ(secrets->entries.value(item.id), QByteArray(" hunter2 ")) << "the secret is not trimmed";
    EXPECT_EQ(storedItems(), QList<VeskItem>{item});

    ASSERT_TRUE(store->addSecureItem(QStringLiteral("Bare"), QString(), QStringLiteral("   "), QString()));
    const VeskItem bare = store->items().first();
    EXPECT_EQ(bare.searchableText, QStringLiteral("__vesk_secure__ Bare"));
    EXPECT_EQ(bare.text, std::nullopt);
    EXPECT_EQ(bare.note, QString());
    EXPECT_FALSE(store->intakeNotice());
    EXPECT_TRUE(thumbnails->requests.isEmpty());
}

TEST_F(StoreSecureTest, RefusedSecretsLeaveNoItemAndNoEntry)
{
    auto store = makeStore();
    EXPECT_FALSE(store->addSecureItem(QStringLiteral("  "), QString(), QStringLiteral("pw"), QString()));
    EXPECT_FALSE(store->addSecureItem(QStringLiteral("Name"), QString(), QString(), QString()));
    EXPECT_EQ(secrets->writes, 0);
    EXPECT_TRUE(logLines.isEmpty());

    secrets->failWrites = kRefused;
    const SecureItemSave refused = store->addSecureItem(QStringLiteral("Name"), QString(), QStringLiteral("pw"), QString());
    ASSERT_FALSE(refused.hasValue());
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(storedItems().isEmpty());
    EXPECT_EQ(logLines, QStringList{QStringLiteral("Vesk Keychain save error: status(2)")});
    ASSERT_TRUE(refused.error().keychain);
    EXPECT_EQ(*refused.error().keychain, kRefused);

    secrets->failWrites.reset();
    EXPECT_TRUE(store->addSecureItem(QStringLiteral("Name"), QString(), QStringLiteral("pw"), QString()));
}

TEST_F(StoreSecureTest, NewCardStoresItsReducedValuesOrLogsWhyItWasRefused)
{
    auto store = makeStore();
    ASSERT_TRUE(store->addCreditCard(QStringLiteral(" Visa "), QStringLiteral("joint account"),
                                     QStringLiteral("4111 1111 1111 1111 9"), QStringLiteral(" 12/26 "),
                                     QStringLiteral("1 2 3"), QString()));
    const VeskItem card = store->items().first();
    EXPECT_EQ(card.searchableText, QStringLiteral("__vesk_secure_credit_card__ Visa joint account"));
    EXPECT_EQ(card.note, QStringLiteral("joint account"));
    EXPECT_EQ(secrets->entries.value(card.id), QByteArray("4111111111111111\n12/26\n123"));

    const int writes = secrets->writes;
    EXPECT_FALSE(store->addCreditCard(QStringLiteral("Amex"), QString(), QStringLiteral("3412 345678 901234"),
                                      QStringLiteral("12/26"), QStringLiteral("123"), QString()));
    EXPECT_FALSE(store->addCreditCard(QStringLiteral("Card"), QString(), QStringLiteral("4111111111111111"),
                                      QStringLiteral("12/26"), QStringLiteral("12345"), QString()));
    EXPECT_FALSE(store->addCreditCard(QString(), QString(), QStringLiteral("378282246310005"),
                                      QStringLiteral("12/26"), QStringLiteral("1234"), QString()));
    EXPECT_EQ(secrets->writes, writes);
    EXPECT_EQ(logLines, (QStringList{
                            QStringLiteral("Vesk credit-card validation failed — digits: 16, amex: true, code digits: 3"),
                            QStringLiteral("Vesk credit-card validation failed — digits: 16, amex: false, code digits: 5"),
                            QStringLiteral("Vesk credit-card validation failed — digits: 15, amex: true, code digits: 4"),
                        }));

    logLines.clear();
    secrets->failWrites = kRefused;
    EXPECT_FALSE(store->addCreditCard(QStringLiteral("Amex"), QString(), QStringLiteral("378282246310005"),
                                      QStringLiteral("1"), QStringLiteral("1234"), QString()));
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_EQ(logLines, QStringList{QStringLiteral("Vesk credit-card Keychain save error: "
                                                   "Cannot create an item in a locked collection")});
}

class StoreSecureEditTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        store = makeStore();
        ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router"), QStringLiteral("home"), QStringLiteral("old"),
                                         QStringLiteral("hall")));
        password = store->items().first();
        ASSERT_TRUE(store->addCreditCard(QStringLiteral("Visa"), QString(), QStringLiteral("4111111111111111"),
                                         QStringLiteral("12/26"), QStringLiteral("123"), QString()));
        card = store->items().first();
        // What an edit must keep.
        VeskItem grouped = password;
        grouped.groupID = QUuid::createUuid();
        grouped.sourceItemID = QUuid::createUuid();
        ASSERT_TRUE(store->updateItem(grouped));
        password = grouped;
        logLines.clear();
    }

    std::unique_ptr<VeskStore> store;
    VeskItem password;
    VeskItem card;
};

TEST_F(StoreSecureEditTest, PasswordEditsRewriteVisibleFieldsAndKeepOrTrimTheSecret)
{
    const int writes = secrets->writes;
    ASSERT_TRUE(store->updateSecureItem(password, QStringLiteral(" Router 2 "), QString(), QStringLiteral("  "),
                                        QStringLiteral(" garage ")));
    EXPECT_EQ(secrets->writes, writes) << "a blank secret keeps the stored one";
    EXPECT_EQ(secrets->entries.value(password.id), QByteArray("old"));

    const VeskItem edited = store->items().at(store->indexOfItem(password.id));
    EXPECT_EQ(edited.title, QStringLiteral("Router 2"));
    EXPECT_EQ(edited.note, QString());
    EXPECT_EQ(edited.text, QStringLiteral("garage"));
    EXPECT_EQ(edited.searchableText, QStringLiteral("__vesk_secure__ Router 2 garage"));
    EXPECT_EQ(edited.groupID, password.groupID);
    EXPECT_EQ(edited.sourceItemID, password.sourceItemID);
    EXPECT_EQ(edited.createdAt, password.createdAt);
    EXPECT_EQ(edited.kind, password.kind);
    EXPECT_TRUE(storedItems().contains(edited));

    ASSERT_TRUE(store->updateSecureItem(password, QStringLiteral("Router 2"), QString(), QStringLiteral(" new pw "),
                                        QString()));
    EXPECT_EQ(secrets->entries.value(password.id), QByteArray("new pw"));
    EXPECT_EQ(store->items().at(store->indexOfItem(password.id)).text, std::nullopt);
}

TEST_F(StoreSecureEditTest, RefusedEditsChangeNeitherTheKeyringNorTheItem)
{
    const QList<VeskItem> before = store->items();
    const auto entries = secrets->entries;
    const int writes = secrets->writes;

    EXPECT_FALSE(store->updateSecureItem(password, QStringLiteral("  "), QString(), QStringLiteral("new"), QString()));
    EXPECT_FALSE(store->updateSecureItem(card, QStringLiteral("Visa"), QString(), QStringLiteral("new"), QString()))
        << "a card edited as a password would turn into a password item";
    EXPECT_FALSE(store->updateCreditCard(password, QStringLiteral("Router"), QString(),
                                         QStringLiteral("4111111111111111"), QStringLiteral("12/26"),
                                         QStringLiteral("123"), QString()));
    VeskItem gone = password;
    gone.id = QUuid::createUuid();
    EXPECT_FALSE(store->updateSecureItem(gone, QStringLiteral("Gone"), QString(), QStringLiteral("new"), QString()));
    EXPECT_FALSE(store->updateCreditCard(card, QStringLiteral("Visa"), QString(), QStringLiteral("4111111111111111"),
                                         QStringLiteral(""), QStringLiteral("123"), QString()));
    EXPECT_EQ(secrets->writes, writes);

    secrets->failWrites = kRefused;
    EXPECT_FALSE(store->updateSecureItem(password, QStringLiteral("Renamed"), QString(), QStringLiteral("new"), QString()));
    EXPECT_FALSE(store->updateCreditCard(card, QStringLiteral("Renamed"), QString(), QStringLiteral("378282246310005"),
                                         QStringLiteral("01/30"), QStringLiteral("1234"), QString()));
    EXPECT_EQ(store->items(), before);
    EXPECT_EQ(secrets->entries, entries);
    EXPECT_EQ(logLines, (QStringList{
                            QStringLiteral("Vesk credit-card validation failed — digits: 16, amex: false, code digits: 3"),
                            QStringLiteral("Vesk Keychain update error: status(2)"),
                            QStringLiteral("Vesk credit-card Keychain update error: "
                                           "Cannot create an item in a locked collection"),
                        }));
}

TEST_F(StoreSecureEditTest, CardEditsStoreTheWholeCardAgain)
{
    ASSERT_TRUE(store->updateCreditCard(card, QStringLiteral("Amex"), QStringLiteral(" travel "),
                                        QStringLiteral("3782 822463 10005"), QStringLiteral("not a date"),
                                        QStringLiteral("1234"), QStringLiteral("gold")));
    EXPECT_EQ(CreditCardPayload::fromKeychainText(QString::fromUtf8(secrets->entries.value(card.id))),
              (CreditCardPayload{QStringLiteral("378282246310005"), QStringLiteral("not a date"), QStringLiteral("1234")}));
    const VeskItem edited = store->items().at(store->indexOfItem(card.id));
    EXPECT_EQ(edited.searchableText, QStringLiteral("__vesk_secure_credit_card__ Amex travel gold"));

    const int writes = secrets->writes;
    ASSERT_TRUE(store->updateCreditCard(card, QStringLiteral("Amex"), QStringLiteral("travel"),
                                        QStringLiteral("378282246310005"), QStringLiteral("not a date"),
                                        QStringLiteral("1234"), QStringLiteral("gold")));
    EXPECT_EQ(secrets->writes, writes + 1) << "every accepted card edit writes the entry";
}

// A new item is noted beside the library before its secret is written: where the note cannot be
// written nothing goes to the keyring, and the note goes once the row is written.
TEST_F(StoreSecureTest, ANewItemWhoseNoteCannotBeWrittenPutsNothingInTheKeyring)
{
    const QString note = dataDir + QStringLiteral("/.vesk-secure-items-being-added");
    const struct {
        const char* name;
        std::function<SecureItemSave(VeskStore&)> add;
    } cases[] = {
        {"a password", [](VeskStore& store) {
             return store.addSecureItem(QStringLiteral("Router"), QString(), QStringLiteral("pw"), QString());
         }},
        {"a card", [](VeskStore& store) {
             return store.addCreditCard(QStringLiteral("Visa"), QString(), QStringLiteral("4000056655665556"),
                                        QStringLiteral("12/30"), QStringLiteral("123"), QString());
         }},
    };
    auto store = makeStore();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = store->items().size();
        const int writes = secrets->writes;
        ASSERT_TRUE(QDir().mkpath(note)); // a folder where the note goes: the disk refuses the note
        const SecureItemSave refused = c.add(*store);
        ASSERT_FALSE(refused);
        EXPECT_EQ(secrets->writes, writes);
        EXPECT_EQ(store->items().size(), before);
        EXPECT_FALSE(refused.error().libraryRefusal.isEmpty());

        ASSERT_TRUE(QDir(note).removeRecursively());
        EXPECT_TRUE(c.add(*store));
        EXPECT_EQ(secrets->writes, writes + 1);
        EXPECT_FALSE(QFileInfo::exists(note)) << "the row is written: nothing stays noted";
    }
}

// A start after a run that ended between secrets and rows removes the secrets of the noted items
// without a row, and only those.
TEST_F(StoreSecureTest, TheNextStartRemovesOnlyTheSecretsOfNotedItemsWithoutARow)
{
    const VeskItem kept = makeItem(QStringLiteral("Router"), 100, VeskKind::Text);
    const QUuid orphan = QUuid::createUuid();
    const QUuid otherLibrarys = QUuid::createUuid();
    seed({kept});
    secrets->entries.insert(kept.id, "kept");
    secrets->entries.insert(orphan, "orphan");
    secrets->entries.insert(otherLibrarys, "another library's");
    const QString note = dataDir + QStringLiteral("/.vesk-secure-items-being-added");
    writeFile(note, uuidString(kept.id).toUtf8() + '\n' + uuidString(orphan).toUtf8() + "\nnot an identifier\n");

    auto store = makeStore();
    EXPECT_EQ(secrets->deleted, QList<QUuid>{orphan});
    EXPECT_EQ(QSet<QUuid>(secrets->entries.keyBegin(), secrets->entries.keyEnd()), (QSet<QUuid>{kept.id, otherLibrarys}));
    EXPECT_FALSE(QFileInfo::exists(note));
}

} // namespace
} // namespace vesk::test
