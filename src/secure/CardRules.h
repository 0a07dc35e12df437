#pragma once
// How a credit card's number, expiration and code are cleaned, shaped while typing, grouped for
// display and judged. Characters are user-perceived characters; "digits" are every character
// with the Unicode numeric property, so other scripts' decimal digits count too. There is no
// check digit and no date test: a number needs 15 digits when it starts with 34 or 37 and 16
// otherwise, an expiration needs any text, a code 3 or 4 digits.

#include <QString>

namespace vesk {

// The numeric characters of text, in order.
QString digitsOnly(const QString& text);
// The digits start with "34" or "37": such numbers have 15 digits, grouped 4-6-5.
bool hasFifteenDigitPrefix(const QString& digits);
// The first 16 digits have exactly the length their prefix requires.
bool isValidCardNumber(const QString& text);
// At most four digits, with "/" after the second when there are three or four.
QString formatExpiration(const QString& text);
// Every digit in groups of four, or 4-6-5 (cut at 15) for the 15-digit prefix, single spaces.
QString formatCardNumber(const QString& text);

// What a form's field holds after the user typed t into it; each is its own fixed point.
QString shapedCardNumberInput(const QString& text);
QString shapedExpirationInput(const QString& text);
QString shapedCodeInput(const QString& text);

// A card as the store keeps it: the values reduced the way they are stored, and whether they pass.
struct CreditCardEntry {
    QString name;       // trimmed
    QString number;     // the first 16 digits
    QString expiration; // trimmed
    QString code;       // every digit, no cut
    bool valid = false;

    // "Vesk credit-card validation failed — digits: 16, amex: true, code digits: 3"
    QString validationFailureLine() const;
};

// Reduces and judges what a form hands over (name not empty, number valid, expiration not empty,
// code of 3 or 4 digits).
CreditCardEntry creditCardEntry(const QString& name, const QString& number, const QString& expiration,
                                const QString& code);

// The enabling rule of the new-card form, on the raw field texts.
bool canSaveCreditCard(const QString& name, const QString& number, const QString& expiration, const QString& code);

} // namespace vesk
