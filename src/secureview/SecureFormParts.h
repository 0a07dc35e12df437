#pragma once
// The pieces the secure composer and the edit sheet share: captioned fields, the reference-note
// editor, symbol-and-text labels, the card fields that shape themselves while the user types,
// and the prominent save button.

#include <QString>

class QBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace vesk {

enum class TextStyle;

// A caption-sized, semibold, secondary label over a field.
QLabel* makeFieldLabel(const QString& text, QWidget* parent);
// The label above its control, 6 points apart.
QBoxLayout* makeLabelledField(const QString& label, QWidget* field, QWidget* parent);
// A text in the given style and colour role ("secondary" or "tertiary").
QLabel* makeSecureCaption(const QString& text, TextStyle style, bool tertiary, QWidget* parent);
// A symbol before its text, in the caption style and secondary colour.
QWidget* makeSymbolLabel(const QString& symbol, const QString& text, QWidget* parent, const QString& objectName = {});
// A single-line field with the rounded border.
QLineEdit* makeSecureLineEdit(const QString& placeholder, QWidget* parent);
// The multi-line reference-note editor at 14 points on the text background, rounded and outlined.
QPlainTextEdit* makeReferenceNoteEditor(int minimumHeight, QWidget* parent);
// The header row of the secure sheets: the 22-point shield, then the badges (the card badge only
// when asked for), the bold title and the caption subtitle; added to column.
struct SecureSheetHeader {
    QLabel* title;
    QLabel* subtitle;
};
SecureSheetHeader addSecureSheetHeader(QBoxLayout* column, bool cardBadge, QWidget* parent);
// The card's protected fields: "Card number" over its field, then "Expiration" and "Code" side by
// side; added to column. They shape nothing until shapeCardFieldsWhileTyping.
struct SecureCardFields {
    QLineEdit* number;
    QLineEdit* expiration;
    QLineEdit* code;
};
SecureCardFields addSecureCardFields(QBoxLayout* column, const QString& numberPlaceholder, QWidget* parent);
void shapeCardFieldsWhileTyping(const SecureCardFields& fields);

// The field rewrites itself with shape(t) whenever the user's text t differs from it, so it always
// holds shaped text.
void shapeWhileTyping(QLineEdit* field, QString (*shape)(const QString&));

} // namespace vesk
