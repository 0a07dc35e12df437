#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vesk {

// The People window's small alert with a name field: a title, a message, the field labelled
// "Name", "Cancel" and a confirming button that stays disabled while the name is blank. Escape
// cancels. It keeps no name of its own beyond its field; the window reads the field.
class PeoplePrompt : public QDialog {
    Q_OBJECT
public:
    PeoplePrompt(const QString& title, const QString& message, const QString& confirmText, const QString& name,
                 QWidget* parent);

    QLineEdit* field() const { return m_field; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    QLineEdit* m_field = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace vesk
