#pragma once
// The form for a new secure item: a password or other secret, or a credit card. It never touches
// the store or the keyring: its host hands it the actions that do, and closes it when one of them
// reports success. Every presentation starts empty, with the secret hidden.

#include "secure/SecureKinds.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace vesk {

class SecureVeskComposer : public QDialog {
    Q_OBJECT
public:
    struct Actions {
        // name, details, secret, reference note: true when saved.
        std::function<bool(const QString&, const QString&, const QString&, const QString&)> saveSecret;
        // name, details, card-number digits, expiration, code, reference note: true when saved.
        std::function<bool(const QString&, const QString&, const QString&, const QString&, const QString&,
                           const QString&)>
            saveCreditCard;
        std::function<void()> cancel;
        // After a refused save: a reason the user can act on (an unavailable keyring, a full or
        // read-only disk), as a sentence, or empty.
        std::function<QString()> failureReason;
    };

    explicit SecureVeskComposer(Actions actions, QWidget* parent = nullptr);

    SecureVeskKind kind() const { return m_kind; }
    void setKind(SecureVeskKind kind);
    bool showsSecret() const { return m_showSecret; }
    void toggleShowSecret();
    bool saveFailed() const { return m_saveFailed; }
    // The enabling rule of "Vesk It", on the fields as they stand.
    bool canSave() const;
    // "Vesk It": hands the fields to the action of the kind.
    void save();

    QPushButton* kindButton(SecureVeskKind kind) const;
    QLineEdit* titleField() const { return m_title; }
    QLineEdit* detailsField() const { return m_details; }
    QLineEdit* secretField() const { return m_secret; }
    QToolButton* showSecretButton() const { return m_showSecretButton; }
    QLineEdit* cardNumberField() const { return m_cardNumber; }
    QLineEdit* expirationField() const { return m_expiration; }
    QLineEdit* codeField() const { return m_code; }
    QPlainTextEdit* noteEditor() const { return m_note; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QLabel* headerTitle() const { return m_headerTitle; }
    QLabel* headerSubtitle() const { return m_headerSubtitle; }
    QWidget* secretBlock() const { return m_secretBlock; }
    QWidget* cardBlock() const { return m_cardBlock; }
    QWidget* failureLine() const { return m_failureLine; }
    QLabel* failureText() const { return m_failureText; }

private:
    void kindChanged();
    void fieldsChanged();

    Actions m_actions;
    SecureVeskKind m_kind = SecureVeskKind::Secret;
    bool m_showSecret = false;
    bool m_saveFailed = false;

    QPushButton* m_secretKindButton = nullptr;
    QPushButton* m_cardKindButton = nullptr;
    QLabel* m_headerTitle = nullptr;
    QLabel* m_headerSubtitle = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_details = nullptr;
    QWidget* m_secretBlock = nullptr;
    QLineEdit* m_secret = nullptr;
    QToolButton* m_showSecretButton = nullptr;
    QWidget* m_cardBlock = nullptr;
    QLineEdit* m_cardNumber = nullptr;
    QLineEdit* m_expiration = nullptr;
    QLineEdit* m_code = nullptr;
    QPlainTextEdit* m_note = nullptr;
    QLabel* m_cardNoteHint = nullptr;
    QWidget* m_failureLine = nullptr;
    QLabel* m_failureText = nullptr;
    QLabel* m_footerText = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace vesk
