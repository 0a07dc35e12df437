#include "secure/CardRules.h"

#include "platform/Graphemes.h"
#include "secure/SecureKinds.h"

#include <QStringList>

namespace vesk {

namespace {

bool isNumericCodePoint(char32_t codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

bool hasCodeLength(const QString& codeDigits)
{
    const qsizetype count = graphemeCount(codeDigits);
    return count == 3 || count == 4;
}

} // namespace

QString digitsOnly(const QString& text)
{
    QString digits;
    for (const uint codePoint : text.toUcs4()) {
        if (isNumericCodePoint(char32_t(codePoint))) {
            const char32_t kept = char32_t(codePoint);
            digits += QString::fromUcs4(&kept, 1);
        }
    }
    return digits;
}

bool hasFifteenDigitPrefix(const QString& digits)
{
    return digits.startsWith(QLatin1String("34")) || digits.startsWith(QLatin1String("37"));
}

bool isValidCardNumber(const QString& text)
{
    const QString digits = leftGraphemes(digitsOnly(text), 16);
    return graphemeCount(digits) == (hasFifteenDigitPrefix(digits) ? 15 : 16);
}

QString formatExpiration(const QString& text)
{
    const QString digits = leftGraphemes(digitsOnly(text), 4);
    const qsizetype count = graphemeCount(digits);
    if (count < 3)
        return digits;
    const QString month = leftGraphemes(digits, 2);
    return month + QLatin1Char('/') + digits.mid(month.size());
}

QString formatCardNumber(const QString& text)
{
    QString rest = digitsOnly(text);
    QStringList groups;
    auto takeGroup = [&rest, &groups](qsizetype size) {
        if (rest.isEmpty())
            return;
        const QString group = leftGraphemes(rest, size);
        groups << group;
        rest.remove(0, group.size());
    };
    if (hasFifteenDigitPrefix(rest)) {
        for (qsizetype size : {4, 6, 5})
            takeGroup(size);
    } else {
        while (!rest.isEmpty())
            takeGroup(4);
    }
    return groups.join(QLatin1Char(' '));
}

QString shapedCardNumberInput(const QString& text)
{
    return formatCardNumber(leftGraphemes(digitsOnly(text), 16));
}

QString shapedExpirationInput(const QString& text)
{
    return formatExpiration(text);
}

QString shapedCodeInput(const QString& text)
{
    return leftGraphemes(digitsOnly(text), 4);
}

QString CreditCardEntry::validationFailureLine() const
{
    return QStringLiteral("Vesk credit-card validation failed — digits: %1, amex: %2, code digits: %3")
        .arg(graphemeCount(number))
        .arg(hasFifteenDigitPrefix(number) ? QStringLiteral("true") : QStringLiteral("false"))
        .arg(graphemeCount(code));
}

CreditCardEntry creditCardEntry(const QString& name, const QString& number, const QString& expiration,
                                const QString& code)
{
    CreditCardEntry entry;
    entry.name = trimmedSecureText(name);
    entry.number = leftGraphemes(digitsOnly(number), 16);
    entry.expiration = trimmedSecureText(expiration);
    entry.code = digitsOnly(code);
    entry.valid = !entry.name.isEmpty() && isValidCardNumber(entry.number) && !entry.expiration.isEmpty()
        && hasCodeLength(entry.code);
    return entry;
}

bool canSaveCreditCard(const QString& name, const QString& number, const QString& expiration, const QString& code)
{
    return !trimmedSecureText(name).isEmpty() && isValidCardNumber(number) && !trimmedSecureText(expiration).isEmpty()
        && hasCodeLength(digitsOnly(code));
}

} // namespace vesk
