#include "pane/ItemEditSheet.h"

#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextSheetParts.h"
#include "richtext/VeskRichTextController.h"
#include "richtext/VeskRichTextEditor.h"
#include "richtext/VeskRichTextToolbar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

namespace vesk {

namespace {
const QString kFailure = QStringLiteral("Vesk couldn't save these changes");
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
    column->addLayout(sheetHeader(QStringLiteral("Edit Vesk"),
                                  QStringLiteral("Change the note without creating a new Vesk."), this));
    column->addLayout(sheetNameField(m_nameField, this));
    m_nameField->setText(item.title);

    m_toolbar = new VeskRichTextToolbar(controller, VeskRichTextToolbar::standardSizes(), this);
    column->addWidget(m_toolbar);

    m_editor = new VeskRichTextEditor(controller, this);
    m_editor->setAttributedText(text);
    column->addWidget(framedEditor(m_editor, QStringLiteral("editFrame"), this), 1);

    m_failure = sheetCaption(kFailure + QLatin1Char('.'), QFont::Normal, this);
    m_failure->setObjectName(QStringLiteral("editFailure"));
    m_failure->hide();
    column->addWidget(m_failure);

    const SheetButtons buttons =
        sheetButtons(QStringLiteral("Editing the existing Vesk."), QStringLiteral("Save Changes"), this);
    m_cancelButton = buttons.cancel;
    m_saveButton = buttons.confirm;
    column->addLayout(buttons.row);

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
    const QString plainText = live ? documentPlainText(*live->document()) : QString();
    const std::optional<QByteArray> rtf = live ? makeRTFData(*live->document()) : std::nullopt;
    if (m_save && m_save(m_itemID, m_nameField->text(), plainText, rtf)) {
        accept();
        return;
    }
    const QString reason = m_failureReason ? m_failureReason() : QString();
    m_failure->setText(kFailure + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + QLatin1Char('.'));
    m_failure->show();
}

} // namespace vesk
