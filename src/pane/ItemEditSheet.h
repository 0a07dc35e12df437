#pragma once
// The "Edit Vesk" sheet: the item's name and its rich text changed in place, without a new item.
// It hosts the formatting toolbar and the editor over the preview pane's controller and saves
// through the store's saveItemEdits; it closes only when that saved the edits, and Cancel drops
// them.

#include "model/VeskItem.h"

#include <QDialog>
#include <QPointer>
#include <QUuid>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocument;

namespace vesk {

class VeskRichTextController;
class VeskRichTextEditor;
class VeskRichTextToolbar;

class ItemEditSheet : public QDialog {
    Q_OBJECT

public:
    // The store's saveItemEdits in the application: id, title as typed, plain text, RTF.
    using SaveEdits = std::function<bool(const QUuid& id, const QString& title, const QString& plainText,
                                         const std::optional<QByteArray>& rtf)>;

    // Opens on the item's title and `text` (its stored body, ready for editing).
    ItemEditSheet(const VeskItem& item, const QTextDocument& text, VeskRichTextController* controller, SaveEdits save,
                  QWidget* parent = nullptr);

    // Why the store could not save, in plain words ("the disk is full"), or empty when it has no
    // word for it; asked after a save failed.
    void setFailureReason(std::function<QString()> reason) { m_failureReason = std::move(reason); }

    QLineEdit* nameField() const { return m_nameField; }
    VeskRichTextEditor* editor() const { return m_editor; }
    VeskRichTextToolbar* toolbar() const { return m_toolbar; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QLabel* failureLine() const { return m_failure; }

    // "Save Changes": closes when the store saved the edits; otherwise stays open as typed and
    // says that they were not saved.
    void saveChanges();

private:
    void textChanged();

    QUuid m_itemID;
    QPointer<VeskRichTextController> m_controller;
    SaveEdits m_save;
    std::function<QString()> m_failureReason;
    QLineEdit* m_nameField = nullptr;
    VeskRichTextToolbar* m_toolbar = nullptr;
    VeskRichTextEditor* m_editor = nullptr;
    QLabel* m_failure = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_saveButton = nullptr;
};

} // namespace vesk
