#pragma once
// The vocabulary of secure items (passwords or other secrets, and credit cards): their two kinds,
// the markers that stand in an item's searchable text, and the item fields built from what the
// user typed. The protected value itself is never part of any of these.

#include "model/ItemFileKinds.h"
#include "model/VeskItem.h"

#include <QString>
#include <array>
#include <optional>

namespace vesk {

enum class SecureVeskKind { Secret, CreditCard };

// In the composer's picker order.
inline constexpr std::array<SecureVeskKind, 2> kAllSecureVeskKinds{SecureVeskKind::Secret, SecureVeskKind::CreditCard};

// "Password / Secret" and "Credit Card", also the picker's labels.
QString secureVeskKindRawValue(SecureVeskKind kind);
// Exactly one of the two raw values (case-sensitive); anything else is no kind.
std::optional<SecureVeskKind> secureVeskKindFromRawValue(const QString& raw);

// A secure item carries either marker of model/ItemFileKinds.h in its searchable text
// (itemHasSecureMarker); a card item carries the card marker. The secret marker does not occur
// inside the card marker, so a card item never passes for a password item by its marker.
bool isCreditCardItem(const VeskItem& item);

// White space and line breaks removed from both ends, nothing else.
QString trimmedSecureText(const QString& text);

// The visible fields of a secure item, from the user's name, details and reference note.
struct SecureItemFields {
    QString title;              // the trimmed name
    std::optional<QString> text; // the trimmed reference note; none when it is empty
    QString note;               // the trimmed details, possibly empty
    QString searchableText;     // marker, name, details, note: the non-empty ones, single spaces between

    friend bool operator==(const SecureItemFields&, const SecureItemFields&) = default;
};

SecureItemFields secureItemFields(SecureVeskKind kind, const QString& name, const QString& details,
                                  const QString& referenceNote);

} // namespace vesk
