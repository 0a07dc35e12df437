#include "richtext/RichTextSheetParts.h"

#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "richtext/VeskRichTextEditor.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

QLabel* sheetCaption(const QString& text, QFont::Weight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = Theme::font(TextStyle::Caption);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::current().secondary());
    label->setPalette(palette);
    return label;
}

QVBoxLayout* sheetHeader(const QString& title, const QString& caption, QWidget* parent)
{
    auto* header = new QVBoxLayout;
    header->setSpacing(3);
    auto* titleLabel = new QLabel(title, parent);
    QFont titleFont = Theme::font(TextStyle::Title2);
    titleFont.setWeight(QFont::Bold);
    titleLabel->setFont(titleFont);
    header->addWidget(titleLabel);
    header->addWidget(sheetCaption(caption, QFont::Normal, parent));
    return header;
}

QVBoxLayout* sheetNameField(QLineEdit*& field, QWidget* parent)
{
    auto* name = new QVBoxLayout;
    name->setSpacing(6);
    name->addWidget(sheetCaption(QStringLiteral("Name"), QFont::DemiBold, parent));
    field = new QLineEdit(parent);
    field->setPlaceholderText(QStringLiteral("Optional — Vesk will name it from the note if left blank"));
    field->setFont(Theme::font(14));
    name->addWidget(field);
    return name;
}

QFrame* framedEditor(VeskRichTextEditor* editor, const QString& objectName, QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(objectName);
    const Theme& theme = Theme::current();
    frame->setStyleSheet(QStringLiteral("QFrame#%1 { background: %2; border: 1px solid %3; border-radius: 12px; }")
                             .arg(objectName, theme.colors().textBackground.name(QColor::HexArgb),
                                  theme.primary(0.1).name(QColor::HexArgb)));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);
    editor->setParent(frame);
    editor->setMinimumSize(600, 330);
    layout->addWidget(editor);
    return frame;
}

SheetButtons sheetButtons(const QString& caption, const QString& confirmText, QWidget* parent)
{
    SheetButtons buttons;
    buttons.row = new QHBoxLayout;
    buttons.row->addWidget(sheetCaption(caption, QFont::Normal, parent));
    buttons.row->addStretch(1);
    buttons.cancel = new QPushButton(QStringLiteral("Cancel"), parent);
    buttons.cancel->setAutoDefault(false);
    buttons.confirm = prominentButton(confirmText, parent);
    buttons.row->addWidget(buttons.cancel);
    buttons.row->addWidget(buttons.confirm);
    return buttons;
}

} // namespace vesk
