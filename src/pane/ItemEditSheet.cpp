#include "pane/ItemEditSheet.h"

#include "platform/ui/Theme.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/VeskRichTextController.h"
#include "richtext/VeskRichTextEditor.h"
#include "richtext/VeskRichTextToolbar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

namespace vesk {

namespace {

QLabel* sheetLabel(const QString& text, TextStyle style, QFont::Weight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = Theme::font(style);
    font.setWeight(weight);
    label->setFont(font);
    if (style == TextStyle::Caption) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Theme::current().secondary());
        label->setPalette(palette);
    }
    return label;
}

} // namespace

ItemEditSheet::ItemEditSheet(const VeskItem& item, const QTextDocument& text, VeskRichTextController* controller,
                             SaveEdits save, QWidget* parent)
    : QDialog(parent), m_itemID(item.id), m_controller(controller), m_save(std::move(save))
{
    setObjectName(QStringLiteral("itemEditSheet"));
    setWindowTitle(QStringLiteral("Edit Vesk"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(820, 500);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(14);

    auto* header = new QVBoxLayout;
    header->setSpacing(3);
    header->addWidget(sheetLabel(QStringLiteral("Edit Vesk"), TextStyle::Title2, QFont::Bold, this));
    header->addWidget(
        sheetLabel(QStringLiteral("Change the note without creating a new Vesk."), TextStyle::Caption, QFont::Normal, this));
    column->addLayout(header);

    auto* name = new QVBoxLayout;
    name->setSpacing(6);
    name->addWidget(sheetLabel(QStringLiteral("Name"), TextStyle::Caption, QFont::DemiBold, this));
    m_nameField = new QLineEdit(item.title, this);
    m_nameField->setPlaceholderText(QStringLiteral("Optional — Vesk will name it from the note if left blank"));
    m_nameField->setFont(Theme::font(14));
    name->addWidget(m_nameField);
    column->addLayout(name);

    m_toolbar = new VeskRichTextToolbar(controller, VeskRichTextToolbar::standardSizes(), this);
    column->addWidget(m_toolbar);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("editFrame"));
    const Theme& theme = Theme::current();
    frame->setStyleSheet(QStringLiteral("QFrame#editFrame { background: %1; border: 1px solid %2; border-radius: 12px; }")
                             .arg(theme.colors().textBackground.name(QColor::HexArgb), theme.primary(0.1).name(QColor::HexArgb)));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    m_editor = new VeskRichTextEditor(controller, frame);
    m_editor->setMinimumSize(600, 330);
    m_editor->setAttributedText(text);
    frameLayout->addWidget(m_editor);
    column->addWidget(frame, 1);

    m_failure = sheetLabel(QStringLiteral("Vesk couldn't save these changes."), TextStyle::Caption, QFont::Normal, this);
    m_failure->setObjectName(QStringLiteral("editFailure"));
    m_failure->hide();
    column->addWidget(m_failure);

    auto* footer = new QHBoxLayout;
    footer->addWidget(sheetLabel(QStringLiteral("Editing the existing Vesk."), TextStyle::Caption, QFont::Normal, this));
    footer->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setAutoDefault(false);
    m_saveButton = new QPushButton(QStringLiteral("Save Changes"), this);
    m_saveButton->setAutoDefault(false);
    m_saveButton->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                                               "QPushButton:disabled { background: %2; }")
                                    .arg(theme.accent().name(QColor::HexArgb), theme.accent(0.35).name(QColor::HexArgb)));
    footer->addWidget(m_cancelButton);
    footer->addWidget(m_saveButton);
    column->addLayout(footer);

    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveButton, &QPushButton::clicked, this, &ItemEditSheet::saveChanges);
    connect(m_editor, &VeskRichTextEditor::attributedTextChanged, this, &ItemEditSheet::textChanged);
    textChanged();
}

void ItemEditSheet::textChanged()
{
    m_saveButton->setEnabled(!m_editor->plainText().trimmed().isEmpty());
    m_failure->hide();
}

void ItemEditSheet::saveChanges()
{
    // The editor's live text, as the controller holds it; no editor, no text and no body.
    QTextEdit* live = m_controller ? m_controller->textView() : nullptr;
    const QString plainText = live ? documentText(*live->document()) : QString();
    const std::optional<QByteArray> rtf = live ? makeRTFData(*live->document()) : std::nullopt;
    if (m_save && m_save(m_itemID, m_nameField->text(), plainText, rtf)) {
        accept();
        return;
    }
    m_failure->show();
}

} // namespace vesk
