#pragma once
// The preview pane's view of a secure item. The item holds only its reference data (name,
// details, reference note); the protected values are read from the system keyring each time the
// view is made, kept only in this view, shown masked, revealed for at most 30 seconds at a time,
// and copied to the clipboard for 30 seconds. The edit sheet edits values this view owns.

#include "model/VeskItem.h"
#include "platform/KeychainError.h"
#include "secure/CreditCardPayload.h"
#include "secureview/SecureEditSheet.h"
#include "store/SecureItemFailure.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QVBoxLayout;

namespace vesk {

class PendingDelay;
class Timers;
class VeskStore;

// What the edit sheet shows and changes; lives in the preview so that a refused save keeps it.
struct SecureEditValues {
    QString title;
    QString details;
    QString note;
    QString secret;
    QString cardNumber;
    QString expiration;
    QString cvv;
    bool saveFailed = false;
};

class SecureVeskPreview : public QWidget {
    Q_OBJECT
public:
    // How long a reveal and a copied value last.
    static constexpr int kExposureMs = 30'000;

    // Reads the protected values as soon as the event loop runs. timers: SystemTimers when null.
    SecureVeskPreview(VeskStore& store, const VeskItem& item, std::shared_ptr<Timers> timers = nullptr,
                      QWidget* parent = nullptr);
    ~SecureVeskPreview() override;

    const VeskItem& item() const { return m_item; }
    bool isCardItem() const { return m_isCard; }
    const std::optional<QString>& secret() const { return m_secret; }
    const std::optional<CreditCardPayload>& card() const { return m_card; }
    const std::optional<QString>& loadError() const { return m_loadError; }
    bool isRevealed() const { return m_isRevealed; }

    // Reads the item's keyring entry into secret() or card(), or sets loadError(); hides.
    void loadSecureValues();
    // Shows the protected values for 30 seconds from now, or hides them at once.
    void toggleReveal();
    void hideRevealedValues();
    // Puts text on the clipboard and clears it 30 seconds later if it still holds that text.
    // A protected value is marked for clipboard managers so they keep no history of it.
    void copyTemporarily(const QString& text, bool protectedValue);

    // The edit sheet: filled from the item and the loaded card, opened, closed.
    void beginEditing();
    void cancelEditing();
    // Runs save, closes the sheet and reads the values again once the store accepted, or keeps
    // the sheet open with its values and shows the failure.
    void finishEditing(const std::function<SecureItemSave()>& save);
    // The store operation of the item's kind with the edit values, through finishEditing.
    void saveEdits();
    bool showingEditSheet() const { return m_editSheet != nullptr; }
    SecureEditSheet* editSheet() const { return m_editSheet; }
    SecureEditValues& editValues() { return m_edit; }
    // After a refused save: a reason the user can act on (an unavailable keyring), or empty.
    QString editFailureReason() const;

signals:
    void protectedValuesChanged();
    void editSaveFailedChanged();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void render();
    QWidget* makeHeader();
    QWidget* makeReferenceRow(const QString& caption, const QString& text, const QString& objectName);
    QWidget* makeProtectedSection();
    QWidget* makeStatusView();
    QWidget* makePasswordSection();
    QWidget* makeCardSection();
    QWidget* makeFieldRow(bool secret, const QString& shown, const QString& copyText, const QString& objectName);
    QWidget* makeCardBox(const QString& label, const QString& value, const QString& objectName);
    void cancelRevealTimeout();
    void closeEditSheet();

    VeskStore& m_store;
    VeskItem m_item;
    bool m_isCard = false;
    std::shared_ptr<Timers> m_timers;

    std::optional<QString> m_secret;
    std::optional<CreditCardPayload> m_card;
    std::optional<QString> m_loadError;
    bool m_isRevealed = false;
    std::shared_ptr<PendingDelay> m_revealTimeout;

    SecureEditValues m_edit;
    // Why the keyring refused the last edit; none when it was not the cause.
    std::optional<KeychainError> m_editKeychainFailure;
    QPointer<SecureEditSheet> m_editSheet;

    QVBoxLayout* m_column = nullptr;
    QWidget* m_protected = nullptr;
};

} // namespace vesk
