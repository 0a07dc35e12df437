#include "common/Fakes.h"
#include "secure/CreditCardPayload.h"
#include "secure/SecureKinds.h"
#include "secure/SecureVeskKeychain.h"

#include <QHash>
#include <gtest/gtest.h>

using namespace vesk;

TEST(SecureKinds, RawValuesAreExactAndCaseSensitive)
{
    EXPECT_EQ(secureVeskKindFromRawValue(QStringLiteral("Password / Secret")), SecureVeskKind::Secret);
    EXPECT_EQ(secureVeskKindFromRawValue(QStringLiteral("Credit Card")), SecureVeskKind::CreditCard);
    EXPECT_EQ(secureVeskKindFromRawValue(QStringLiteral("credit card")), std::nullopt);
    EXPECT_EQ(secureVeskKindFromRawValue(QString()), std::nullopt);
}

TEST(SecureKinds, MarkersTellSecureItemsAndCardsApart)
{
    const auto withText = [](const char* searchableText) {
        VeskItem item;
        item.searchableText = QString::fromUtf8(searchableText);
        return item;
    };
    const struct {
        const char* searchableText;
        bool secure;
        bool card;
    } cases[] = {
        {"__vesk_secure__ Router", true, false},
        {"__vesk_secure_credit_card__ Visa", true, true},
        {"notes mention __vesk_secure__ midway", true, false},
        {"vesk secure credit card vesk_secure", false, false},
        {"__VESK_SECURE__ Router", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(itemHasSecureMarker(withText(c.searchableText)), c.secure) << c.searchableText;
        EXPECT_EQ(isCreditCardItem(withText(c.searchableText)), c.card) << c.searchableText;
    }
}

TEST(SecureKinds, ItemFieldsKeepDetailsInNoteAndReferenceNoteInText)
{
    const SecureItemFields full = secureItemFields(SecureVeskKind::Secret, QStringLiteral("  Router admin "),
                                                   QStringLiteral(" home network\n"), QStringLiteral("\tin the hall "));
    EXPECT_EQ(full.title, QStringLiteral("Router admin"));
    EXPECT_EQ(full.note, QStringLiteral("home network"));
    EXPECT_EQ(full.text, QStringLiteral("in the hall"));
    EXPECT_EQ(full.searchableText, QStringLiteral("__vesk_secure__ Router admin home network in the hall"));

    const SecureItemFields bare =
        secureItemFields(SecureVeskKind::CreditCard, QStringLiteral("Visa"), QStringLiteral("  "), QString());
    EXPECT_EQ(bare.note, QString());
    EXPECT_EQ(bare.text, std::nullopt);
    EXPECT_EQ(bare.searchableText, QStringLiteral("__vesk_secure_credit_card__ Visa"));
}

TEST(CreditCardPayload, KeychainTextIsThreeLinesAndNothingElseReadsBack)
{
    const CreditCardPayload card{QStringLiteral("4111111111111111"), QStringLiteral("12/26"), QStringLiteral("123")};
    EXPECT_EQ(card.keychainText(), QStringLiteral("4111111111111111\n12/26\n123"));
    EXPECT_EQ(CreditCardPayload::fromKeychainText(card.keychainText()), card);

    const auto noExpiration = CreditCardPayload::fromKeychainText(QStringLiteral("4111111111111111\n\n123"));
    ASSERT_TRUE(noExpiration.has_value());
    EXPECT_EQ(noExpiration->expiration, QString());
    EXPECT_EQ(noExpiration->cvv, QStringLiteral("123"));

    EXPECT_EQ(CreditCardPayload::fromKeychainText(QStringLiteral("4111\n12/26\n123\nextra")), std::nullopt);
    EXPECT_EQ(CreditCardPayload::fromKeychainText(QStringLiteral("4111\n12/26\n123\n")), std::nullopt);
    EXPECT_EQ(CreditCardPayload::fromKeychainText(QString()), std::nullopt);
}


TEST(SecureVeskKeychain, SecretsAreStoredAsTheirExactUtf8Bytes)
{
    test::FakeSecretStore store;
    const QUuid id = QUuid::createUuid();
    const QString secret = QStringLiteral(" pass\nwörd\n\n ");
    ASSERT_TRUE(SecureVeskKeychain::saveSecret(store, secret, id));
    EXPECT_EQ(store.entries.value(id), secret.toUtf8());
    EXPECT_EQ(*SecureVeskKeychain::readSecret(store, id), secret) << "line feeds come back as one text";

    ASSERT_TRUE(SecureVeskKeychain::saveSecret(store, QString(), id));
    EXPECT_EQ(*SecureVeskKeychain::readSecret(store, id), QString());
}

TEST(SecureVeskKeychain, ReadsTellMissingEntriesFromUnreadableOnes)
{
    test::FakeSecretStore store;
    const QUuid id = QUuid::createUuid();
    EXPECT_EQ(*SecureVeskKeychain::readSecret(store, id), std::nullopt);
    EXPECT_EQ(*SecureVeskKeychain::readCreditCard(store, id), std::nullopt);

    store.entries.insert(id, QByteArray("\xff\xfe broken", 9));
    EXPECT_EQ(*SecureVeskKeychain::readSecret(store, id), std::nullopt) << "not UTF-8: no secret";
    auto card = SecureVeskKeychain::readCreditCard(store, id);
    ASSERT_FALSE(card);
    EXPECT_EQ(card.error(), KeychainError::invalidCreditCardPayload());

    store.entries.insert(id, QByteArray());
    EXPECT_EQ(*SecureVeskKeychain::readSecret(store, id), QString());
    EXPECT_FALSE(SecureVeskKeychain::readCreditCard(store, id)) << "an empty value is one piece, not a card";

    store.failReads = KeychainError::fromStatus(9, QStringLiteral("The keyring is locked"));
    auto failed = SecureVeskKeychain::readSecret(store, id);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().localizedDescription(), QStringLiteral("The keyring is locked"));
}

TEST(SecureVeskKeychain, CardsRoundTripThroughTheirKeychainText)
{
    test::FakeSecretStore store;
    const QUuid id = QUuid::createUuid();
    const CreditCardPayload card{QStringLiteral("378282246310005"), QString(), QStringLiteral("1234")};
    ASSERT_TRUE(SecureVeskKeychain::saveCreditCard(store, card, id));
    EXPECT_EQ(store.entries.value(id), QByteArray("378282246310005\n\n1234"));
    EXPECT_EQ(*SecureVeskKeychain::readCreditCard(store, id), card);
    EXPECT_FALSE(SecureVeskKeychain::readCreditCard(store, QUuid::createUuid()).value().has_value());
}

TEST(KeychainError, DescriptionsAndPrintedForms)
{
    EXPECT_EQ(KeychainError::fromStatus(-25300).localizedDescription(), QStringLiteral("System keyring error -25300"));
    EXPECT_EQ(KeychainError::fromStatus(2, QStringLiteral("Cannot create an item in a locked collection"))
                  .localizedDescription(),
              QStringLiteral("Cannot create an item in a locked collection"));
    EXPECT_EQ(KeychainError::fromStatus(-25300).printedForm(), QStringLiteral("status(-25300)"));
    EXPECT_EQ(KeychainError::invalidCreditCardPayload().localizedDescription(),
              QStringLiteral("Vesk couldn't read the protected credit-card data."));
    EXPECT_TRUE(KeychainError::unavailable().localizedDescription().contains(QStringLiteral("system keyring")));
}
