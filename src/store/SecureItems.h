#pragma once

#include "model/VeskItem.h"
#include "store/SecureItemFailure.h"

#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace vesk {

class Clock;
class ItemAccess;
class SecretStore;

// Creating and editing secure items (passwords and cards). The protected value travels from the
// form to the system keyring and nowhere else: not into the item, its row, the search index, the
// embeddings or a log line. The item itself goes through the store's saving like any other.
class SecureItems {
public:
    // addingNotePath: a small file beside the library that names the new secure items whose secret
    // may be in the keyring without their row in the library (see removeSecretsOfUnfinishedAdds).
    SecureItems(std::shared_ptr<SecretStore> secrets, std::shared_ptr<Clock> clock, ItemAccess& items,
                QString addingNotePath);

    // New password or card items: the protected value goes to the keyring first, and the item
    // (name, details, reference note and a marker, never the value) is committed only once that
    // worked. Failed, with nothing stored, for unacceptable values, a failed keyring write or a
    // library that cannot take new items; failed too when the item's row could not be written (the
    // store shows it as unsaved and tries it again). The failure says why.
    SecureItemSave addSecureItem(const QString& name, const QString& details, const QString& secret, const QString& note);
    SecureItemSave addCreditCard(const QString& name, const QString& details, const QString& number,
                                 const QString& expiration, const QString& code, const QString& note);
    // Edits of the library's item with item's identifier, keyring first. A blank new secret keeps
    // the stored one. A password edit refuses card items and a card edit refuses password items,
    // so an edit never changes an item's kind. Failed, with nothing stored, while the library takes
    // no changes; failed too when the row could not be written.
    SecureItemSave updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                                    const QString& newSecret, const QString& note);
    SecureItemSave updateCreditCard(const VeskItem& item, const QString& title, const QString& details,
                                    const QString& digits, const QString& expiration, const QString& cvv,
                                    const QString& note);
    // The library gives these items up (the store goes and their rows never reached the library
    // file): the secret of each secure one leaves the keyring with it, as a deleted item's does.
    void removeSecretsOfGivenUpItems(const QList<VeskItem>& items);
    // A run that ended between a new item's secret and its row (killed, a power cut) left the
    // secret in the keyring for no item. Once the whole library is read at the next start: the
    // secret of each item noted as being added by an earlier run that has no row goes. Nothing
    // else in the keyring is touched: other libraries of the same user keep theirs there too.
    void removeSecretsOfUnfinishedAdds();

private:
    // Nothing goes into the keyring for an item the library cannot take: why (and said) then.
    std::optional<SecureItemFailure> refuseNewSecureItem(const QString& title);
    // Done when the row is written or waits for the check of the library file.
    SecureItemSave commitSecureItem(const VeskItem& item);
    bool updateSecureRow(const VeskItem& item);
    // The note of items being added, written to the disk before their secret is written: why the
    // item is refused when it could not be.
    std::optional<SecureItemFailure> noteBeingAdded(const QUuid& id);
    void forgetBeingAdded(const QUuid& id);
    // Why the note could not be written or removed; none when it was.
    std::optional<QString> writeAddingNote();

    std::shared_ptr<SecretStore> m_secrets;
    std::shared_ptr<Clock> m_clock;
    ItemAccess& m_items;
    QString m_addingNotePath;
    // Noted as being added: by this run, and by earlier runs (which the next start settles).
    QSet<QUuid> m_beingAdded;
    QSet<QUuid> m_addedByEarlierRuns;
};

} // namespace vesk
