#pragma once
// The sheet that edits a secure item from its preview: name, details and reference note, plus a
// new password (blank keeps the stored one) or the card's number, expiration and code. It holds
// no values of its own: every field edits the preview's SecureEditValues, so a refused save keeps
// what was typed.

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace vesk {

class SecureVeskPreview;

class SecureEditSheet : public QDialog {
    Q_OBJECT
public:
    SecureEditSheet(SecureVeskPreview& preview, QWidget* parent = nullptr);

    QLineEdit* titleField() const { return m_title; }
    QLineEdit* detailsField() const { return m_details; }
    QPlainTextEdit* noteEditor() const { return m_note; }
    // The password form's field; null in the card form.
    QLineEdit* secretField() const { return m_secret; }
    // The card form's fields; null in the password form.
    QLineEdit* cardNumberField() const { return m_cardNumber; }
    QLineEdit* expirationField() const { return m_expiration; }
    QLineEdit* codeField() const { return m_code; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QWidget* failureLine() const { return m_failureLine; }
    QLabel* failureText() const { return m_failureText; }

private:
    void addReferenceFields(QVBoxLayout* column);
    void addPasswordFields(QVBoxLayout* column);
    void addCardFields(QVBoxLayout* column);
    void showSaveFailure();

    QPointer<SecureVeskPreview> m_preview;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_details = nullptr;
    QPlainTextEdit* m_note = nullptr;
    QLineEdit* m_secret = nullptr;
    QLineEdit* m_cardNumber = nullptr;
    QLineEdit* m_expiration = nullptr;
    QLineEdit* m_code = nullptr;
    QWidget* m_failureLine = nullptr;
    QLabel* m_failureText = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace vesk
