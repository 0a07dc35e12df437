#include "secure/CardRules.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

struct Case {
    const char* input;
    const char* expected;
};

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(CardRules, DigitsOnlyKeepsEveryNumericCharacterOfAnyScript)
{
    const Case cases[] = {
        {"4111-1111 1111/1111", "4111111111111111"},
        {"card: 12ab34", "1234"},
        {"", ""},
        {"٣٤١٢", "٣٤١٢"},          // Arabic-Indic digits
        {"१२३", "१२३"},           // Devanagari digits
        {"½ and 𝟕", "½𝟕"},        // a vulgar fraction, a digit outside the basic plane
    };
    for (const Case& c : cases)
        EXPECT_EQ(digitsOnly(u(c.input)), u(c.expected)) << c.input;
}

TEST(CardRules, CardNumberLengthFollowsTheThirtyFourThirtySevenRule)
{
    const struct {
        const char* number;
        bool valid;
    } cases[] = {
        {"341234567890123", true},    // 15 digits, 34
        {"371234567890123", true},    // 15 digits, 37
        {"3412345678901234", false},  // 34 with a 16th digit
        {"3712345678901234", false},
        {"3512345678901234", true},   // 16 digits, other prefixes
        {"4111111111111111", true},
        {"411111111111111", false},   // 15 digits, not 34/37
        {"41111111111111112", true},  // 17 digits: judged on the first 16
        {"4111 1111-1111 1111", true},
        {"3782 822463 10005", true},
        {"", false},
        {"٤١١١١١١١١١١١١١١١", true}, // 16 Arabic-Indic digits
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidCardNumber(u(c.number)), c.valid) << c.number;
}

TEST(CardRules, ExpirationIsShapedMonthSlashYearFromTheFirstFourDigits)
{
    const Case cases[] = {
        {"", ""},         {"1", "1"},         {"12", "12"},     {"122", "12/2"},
        {"1226", "12/26"}, {"12/26", "12/26"}, {"122699", "12/26"}, {"1a2-2 6", "12/26"},
        {"١٢٢٦", "١٢/٢٦"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatExpiration(u(c.input)), u(c.expected)) << c.input;
}

TEST(CardRules, CardNumbersAreGroupedByTheirPrefix)
{
    const Case cases[] = {
        {"", ""},
        {"4111111", "4111 111"},
        {"3412345", "3412 345"},
        {"37123456789", "3712 345678 9"},
        {"378282246310005", "3782 822463 10005"},
        {"3782822463100059", "3782 822463 10005"}, // beyond 15 dropped for 34/37
        {"4111111111111111", "4111 1111 1111 1111"},
        {"41111111111111112", "4111 1111 1111 1111 2"}, // no cut for other prefixes
        {"4111-1111 1111", "4111 1111 1111"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatCardNumber(u(c.input)), u(c.expected)) << c.input;
}

TEST(CardRules, TypingShapesEachFieldToItsOwnFixedPoint)
{
    const struct {
        QString (*shape)(const QString&);
        const char* typed;
        const char* shown;
    } cases[] = {
        {shapedCardNumberInput, "4111-1111-1111-1111-9", "4111 1111 1111 1111"},
        {shapedCardNumberInput, "3712 345678 901234", "3712 345678 90123"},
        {shapedCardNumberInput, "ab", ""},
        {shapedExpirationInput, "12265", "12/26"},
        {shapedExpirationInput, "1", "1"},
        {shapedCodeInput, "1a2b3", "123"},
        {shapedCodeInput, "12345", "1234"},
    };
    for (const auto& c : cases) {
        const QString shown = c.shape(u(c.typed));
        EXPECT_EQ(shown, u(c.shown)) << c.typed;
        EXPECT_EQ(c.shape(shown), shown) << "shaping again changes nothing: " << c.typed;
    }
}

TEST(CardRules, StoreEntryReducesValuesAndJudgesThemInOrder)
{
    const CreditCardEntry accepted =
        creditCardEntry(u("  Travel card \n"), u("4111 1111 1111 1111 9"), u("  13/99 "), u("1 2 3"));
    EXPECT_TRUE(accepted.valid);
    EXPECT_EQ(accepted.name, u("Travel card"));
    EXPECT_EQ(accepted.number, u("4111111111111111")) << "the 17th digit is dropped before storing";
    EXPECT_EQ(accepted.expiration, u("13/99")) << "no month or year test";
    EXPECT_EQ(accepted.code, u("123"));

    const struct {
        const char* name;
        const char* number;
        const char* expiration;
        const char* code;
        const char* logLine;
    } refused[] = {
        {"Card", "3412345678901234", "12/26", "123",
         "Vesk credit-card validation failed — digits: 16, amex: true, code digits: 3"},
        {"Card", "4111111111111111", "12/26", "12345",
         "Vesk credit-card validation failed — digits: 16, amex: false, code digits: 5"},
        {"Card", "4111111111111111", "12/26", "12",
         "Vesk credit-card validation failed — digits: 16, amex: false, code digits: 2"},
        {"Card", "4111111111111111", "   ", "123",
         "Vesk credit-card validation failed — digits: 16, amex: false, code digits: 3"},
        {"  ", "4111111111111111", "12/26", "123",
         "Vesk credit-card validation failed — digits: 16, amex: false, code digits: 3"},
    };
    for (const auto& c : refused) {
        const CreditCardEntry entry = creditCardEntry(u(c.name), u(c.number), u(c.expiration), u(c.code));
        EXPECT_FALSE(entry.valid) << c.logLine;
        EXPECT_EQ(entry.validationFailureLine(), u(c.logLine));
    }
}

TEST(CardRules, NewCardFormEnablesSavingOnlyForACompleteCard)
{
    EXPECT_TRUE(canSaveCreditCard(u("Card"), u("3782 822463 10005"), u("1"), u("1234")));
    EXPECT_FALSE(canSaveCreditCard(u("   "), u("3782 822463 10005"), u("12/26"), u("123")));
    EXPECT_FALSE(canSaveCreditCard(u("Card"), u("4111 1111 1111 111"), u("12/26"), u("123")));
    EXPECT_FALSE(canSaveCreditCard(u("Card"), u("4111 1111 1111 1111"), u(" \n"), u("123")));
    EXPECT_FALSE(canSaveCreditCard(u("Card"), u("4111 1111 1111 1111"), u("12/26"), u("12")));
}
