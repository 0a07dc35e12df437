#include "secure/SecureKinds.h"

#include "model/TextMarkers.h"

#include <QStringList>

namespace vesk {

QString secureVeskKindRawValue(SecureVeskKind kind)
{
    switch (kind) {
    case SecureVeskKind::Secret:
        return QStringLiteral("Password / Secret");
    case SecureVeskKind::CreditCard:
        return QStringLiteral("Credit Card");
    }
    return {};
}

std::optional<SecureVeskKind> secureVeskKindFromRawValue(const QString& raw)
{
    for (SecureVeskKind kind : kAllSecureVeskKinds) {
        if (secureVeskKindRawValue(kind) == raw)
            return kind;
    }
    return std::nullopt;
}

bool isCreditCardItem(const VeskItem& item)
{
    return textMarkers(item.searchableText).creditCard;
}

QString trimmedSecureText(const QString& text)
{
    // QString::trimmed removes the Unicode white-space set, line and paragraph separators included.
    return text.trimmed();
}

SecureItemFields secureItemFields(SecureVeskKind kind, const QString& name, const QString& details,
                                  const QString& referenceNote)
{
    SecureItemFields fields;
    fields.title = trimmedSecureText(name);
    fields.note = trimmedSecureText(details);
    const QString note = trimmedSecureText(referenceNote);
    if (!note.isEmpty())
        fields.text = note;

    QStringList words{QLatin1String(kind == SecureVeskKind::CreditCard ? kSecureCreditCardMarkerText : kSecureSecretMarkerText)};
    for (const QString& part : {fields.title, fields.note, note}) {
        if (!part.isEmpty())
            words << part;
    }
    fields.searchableText = words.join(QLatin1Char(' '));
    return fields;
}

} // namespace vesk
