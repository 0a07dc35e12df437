#pragma once
// The parts the two rich-text sheets ("New Vesk" and "Edit Vesk") are built of, so both look
// alike: the title block, the name field, the framed editor and the row of buttons.

#include <QFont>
#include <QString>

class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace vesk {

class VeskRichTextEditor;

// Caption-sized text in the secondary colour.
QLabel* sheetCaption(const QString& text, QFont::Weight weight, QWidget* parent);
// The sheet's title in bold over a caption, 3 points apart.
QVBoxLayout* sheetHeader(const QString& title, const QString& caption, QWidget* parent);
// "Name" over a field whose placeholder says a blank name is taken from the note; 6 points apart.
QVBoxLayout* sheetNameField(QLineEdit*& field, QWidget* parent);
// The editor, at least 600 by 330, on the text background in a rounded outline.
QFrame* framedEditor(VeskRichTextEditor* editor, const QString& objectName, QWidget* parent);

struct SheetButtons {
    QHBoxLayout* row = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* confirm = nullptr;  // prominent; dimmed while disabled
};
// A caption, a flexible space, "Cancel" and the confirming button; neither answers Return.
SheetButtons sheetButtons(const QString& caption, const QString& confirmText, QWidget* parent);

} // namespace vesk
