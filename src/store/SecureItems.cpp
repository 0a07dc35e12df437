// Creating and editing secure items. The protected value travels from the form to the system
// keyring and nowhere else: not into the item, its row, the search index, the embeddings or a
// log line.
#include "store/SecureItems.h"

#include "intake/FileImportJob.h"
#include "model/ItemFileKinds.h"
#include "platform/Clock.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/SecretStore.h"
#include "secure/CardRules.h"
#include "secure/SecureKinds.h"
#include "secure/SecureVeskKeychain.h"
#include "platform/Uuid.h"
#include "store/ItemAccess.h"

#include <QFile>

namespace vesk {

namespace {

VeskItem newSecureItem(const QUuid& id, const QDateTime& now, const SecureItemFields& fields)
{
    VeskItem item;
    item.id = id;
    item.kind = VeskKind::Text;
    item.createdAt = now;
    item.title = fields.title;
    item.text = fields.text;
    item.note = fields.note;
    item.searchableText = fields.searchableText;
    return item;
}

// The current copy with the edited visible fields; identity, kind, dates, links, group and
// source stay.
VeskItem editedSecureItem(VeskItem current, const SecureItemFields& fields)
{
    current.title = fields.title;
    current.text = fields.text;
    current.note = fields.note;
    current.searchableText = fields.searchableText;
    return current;
}

// The identifiers a note names, one a line; a line that names none is passed over.
QSet<QUuid> readAddingNote(const QString& path)
{
    QSet<QUuid> ids;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QUuid id = QUuid::fromString(QLatin1StringView(line.trimmed()));
        if (!id.isNull())
            ids.insert(id);
    }
    return ids;
}

} // namespace

SecureItems::SecureItems(std::shared_ptr<SecretStore> secrets, std::shared_ptr<Clock> clock, ItemAccess& items,
                         QString addingNotePath)
    : m_secrets(std::move(secrets))
    , m_clock(std::move(clock))
    , m_items(items)
    , m_addingNotePath(std::move(addingNotePath))
    , m_beingAdded(readAddingNote(m_addingNotePath))
    , m_addedByEarlierRuns(m_beingAdded)
{
}

std::optional<QString> SecureItems::writeAddingNote()
{
    if (m_beingAdded.isEmpty()) {
        QFile note(m_addingNotePath);
        if (!note.exists() || note.remove())
            return std::nullopt;
        veskLog(QStringLiteral("Vesk secure-item note error: ") + note.errorString());
        return note.errorString();
    }
    QByteArray lines;
    for (const QUuid& id : std::as_const(m_beingAdded))
        lines += uuidString(id).toUtf8() + '\n';
    if (const Expected<void, DurableWriteFailure> written = writeFileDurably(m_addingNotePath, lines); !written) {
        veskLog(QStringLiteral("Vesk secure-item note error: ") + written.error().reason.logText());
        return written.error().reason.plainWords();
    }
    return std::nullopt;
}

std::optional<SecureItemFailure> SecureItems::noteBeingAdded(const QUuid& id)
{
    m_beingAdded.insert(id);
    const std::optional<QString> failure = writeAddingNote();
    if (!failure)
        return std::nullopt;
    // Without the note a kill after the secret would leave it for no item: nothing is written.
    m_beingAdded.remove(id);
    return SecureItemFailure{std::nullopt, *failure};
}

void SecureItems::forgetBeingAdded(const QUuid& id)
{
    // A note left naming an item with its row costs only a look at the next start.
    if (m_beingAdded.remove(id))
        (void)writeAddingNote();
}

void SecureItems::removeSecretsOfUnfinishedAdds()
{
    const QSet<QUuid> earlier = std::exchange(m_addedByEarlierRuns, {});
    for (const QUuid& id : earlier) {
        if (!m_items.currentItem(id)) {
            // Kept noted when the keyring refuses: the next start tries again.
            if (auto removed = m_secrets->deleteItem(id); !removed) {
                veskLog(QStringLiteral("Vesk Keychain delete error: ") + removed.error().printedForm());
                continue;
            }
        }
        m_beingAdded.remove(id);
    }
    if (!earlier.isEmpty())
        (void)writeAddingNote();
}

SecureItemSave SecureItems::addSecureItem(const QString& name, const QString& details, const QString& secret,
                                          const QString& note)
{
    const SecureItemFields fields = secureItemFields(SecureVeskKind::Secret, name, details, note);
    if (fields.title.isEmpty() || secret.isEmpty())
        return unexpected(SecureItemFailure{});

    if (const std::optional<SecureItemFailure> refused = refuseNewSecureItem(fields.title))
        return unexpected(*refused);
    const QUuid id = QUuid::createUuid();
    if (const std::optional<SecureItemFailure> refused = noteBeingAdded(id))
        return unexpected(*refused);
    // The secret is kept exactly as typed, surrounding spaces included.
    if (auto saved = SecureVeskKeychain::saveSecret(*m_secrets, secret, id); !saved) {
        forgetBeingAdded(id);
        veskLog(QStringLiteral("Vesk Keychain save error: ") + saved.error().printedForm());
        return unexpected(SecureItemFailure{saved.error(), {}});
    }
    return commitSecureItem(newSecureItem(id, m_clock->now(), fields));
}

SecureItemSave SecureItems::addCreditCard(const QString& name, const QString& details, const QString& number,
                                          const QString& expiration, const QString& code, const QString& note)
{
    const CreditCardEntry card = creditCardEntry(name, number, expiration, code);
    if (!card.valid) {
        veskLog(card.validationFailureLine());
        return unexpected(SecureItemFailure{});
    }

    if (const std::optional<SecureItemFailure> refused = refuseNewSecureItem(card.name))
        return unexpected(*refused);
    const QUuid id = QUuid::createUuid();
    if (const std::optional<SecureItemFailure> refused = noteBeingAdded(id))
        return unexpected(*refused);
    const CreditCardPayload payload{card.number, card.expiration, card.code};
    if (auto saved = SecureVeskKeychain::saveCreditCard(*m_secrets, payload, id); !saved) {
        forgetBeingAdded(id);
        veskLog(QStringLiteral("Vesk credit-card Keychain save error: ") + saved.error().localizedDescription());
        return unexpected(SecureItemFailure{saved.error(), {}});
    }
    const SecureItemFields fields = secureItemFields(SecureVeskKind::CreditCard, name, details, note);
    return commitSecureItem(newSecureItem(id, m_clock->now(), fields));
}

std::optional<SecureItemFailure> SecureItems::refuseNewSecureItem(const QString& title)
{
    const QString why = m_items.newItemRefusal().value_or(QString());
    if (!m_items.refuseNewItem(title))
        return std::nullopt;
    return SecureItemFailure{std::nullopt, why};
}

SecureItemSave SecureItems::commitSecureItem(const VeskItem& item)
{
    // A row that is not written is marked on its card, said and written again later; the
    // composer does not close as if it were kept, and says why. One that waits for the check of
    // the library file is written once that has passed.
    // Until its row is written the item stays noted as being added; one written at a later retry
    // is settled at the next start.
    const Expected<void, QString> committed = m_items.commitNewItem(item);
    if (committed) {
        forgetBeingAdded(item.id);
        return {};
    }
    if (m_items.rowWaitsForLibraryCheck(item.id))
        return {};
    if (!m_items.currentItem(item.id)) {
        // Refused: its secret, already in the keyring, would belong to no item.
        if (m_secrets->deleteItem(item.id))
            forgetBeingAdded(item.id);
        return unexpected(SecureItemFailure{std::nullopt, committed.error()});
    }
    return unexpected(SecureItemFailure{std::nullopt,
                                        committed.error() + QStringLiteral(". Vesk keeps it on screen and tries again")});
}

SecureItemSave SecureItems::updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                                             const QString& newSecret, const QString& note)
{
    const std::optional<VeskItem> found = m_items.currentItem(item.id);
    if (!found)
        return unexpected(SecureItemFailure{});
    const VeskItem& current = *found;
    // A card item edited as a password would lose its card marker and, with a new secret, have
    // its card data overwritten by a single line: refused.
    if (!itemHasSecureMarker(current) || isCreditCardItem(current))
        return unexpected(SecureItemFailure{});
    const SecureItemFields fields = secureItemFields(SecureVeskKind::Secret, title, details, note);
    if (fields.title.isEmpty())
        return unexpected(SecureItemFailure{});
    // Nothing goes into the keyring for a change the library cannot take.
    if (m_items.refuseChange(current))
        return unexpected(SecureItemFailure{});

    const QString secret = trimmedSecureText(newSecret);
    if (!secret.isEmpty()) {
        if (auto saved = SecureVeskKeychain::saveSecret(*m_secrets, secret, current.id); !saved) {
            veskLog(QStringLiteral("Vesk Keychain update error: ") + saved.error().printedForm());
            return unexpected(SecureItemFailure{saved.error(), {}});
        }
    }
    // A failed write is marked and said by the store; the sheet does not close as if it were kept.
    if (!updateSecureRow(editedSecureItem(current, fields)))
        return unexpected(SecureItemFailure{});
    return {};
}

SecureItemSave SecureItems::updateCreditCard(const VeskItem& item, const QString& title, const QString& details,
                                             const QString& digits, const QString& expiration, const QString& cvv,
                                             const QString& note)
{
    const std::optional<VeskItem> found = m_items.currentItem(item.id);
    if (!found)
        return unexpected(SecureItemFailure{});
    const VeskItem& current = *found;
    if (!isCreditCardItem(current))
        return unexpected(SecureItemFailure{});
    const CreditCardEntry card = creditCardEntry(title, digits, expiration, cvv);
    if (!card.valid) {
        veskLog(card.validationFailureLine());
        return unexpected(SecureItemFailure{});
    }

    if (m_items.refuseChange(current))
        return unexpected(SecureItemFailure{});
    const CreditCardPayload payload{card.number, card.expiration, card.code};
    if (auto saved = SecureVeskKeychain::saveCreditCard(*m_secrets, payload, current.id); !saved) {
        veskLog(QStringLiteral("Vesk credit-card Keychain update error: ") + saved.error().localizedDescription());
        return unexpected(SecureItemFailure{saved.error(), {}});
    }
    if (!updateSecureRow(editedSecureItem(current, secureItemFields(SecureVeskKind::CreditCard, title, details, note))))
        return unexpected(SecureItemFailure{});
    return {};
}

void SecureItems::removeSecretsOfGivenUpItems(const QList<VeskItem>& items)
{
    for (const VeskItem& item : items) {
        if (!itemHasSecureMarker(item))
            continue;
        if (auto removed = m_secrets->deleteItem(item.id); !removed)
            veskLog(QStringLiteral("Vesk Keychain delete error: ") + removed.error().printedForm());
        else
            forgetBeingAdded(item.id);
    }
}

bool SecureItems::updateSecureRow(const VeskItem& item)
{
    return m_items.updateItem(item) || m_items.rowWaitsForLibraryCheck(item.id);
}

} // namespace vesk
