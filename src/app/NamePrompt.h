#pragma once
// A small alert with one text field, for naming things: the item rename and the two group
// prompts. The confirming button stays disabled while the trimmed text is empty; "Cancel" and the
// confirming button close the prompt after their action, Escape closes it without one.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vesk {

struct NamePromptTexts {
    QString title;
    QString placeholder;
    QString message;
    QString confirmTitle;
};

class NamePrompt : public QDialog {
    Q_OBJECT
public:
    NamePrompt(const NamePromptTexts& texts, const QString& initialText, QWidget* parent = nullptr);

    QLineEdit* field() const { return m_field; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }
    QString titleText() const;

signals:
    void textEdited(const QString& text);
    // The action runs before the prompt closes, while the window state still names its subject.
    void confirmed();
    void cancelled();

private:
    void finishWith(void (NamePrompt::*signal)(), bool accepted);

    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    QLineEdit* m_field = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace vesk
