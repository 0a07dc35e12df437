#include "secureview/SecureEditSheet.h"

#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "secure/SecureKinds.h"
#include "secureview/SecureBadges.h"
#include "secureview/SecureFormParts.h"
#include "secureview/SecurePanel.h"
#include "secureview/SecureVeskPreview.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace vesk {

namespace {

const QString kFailure = QStringLiteral("Vesk couldn't save these Secure Vesk changes.");

// The field starts with the value and from then on writes every change back to it.
void bind(QLineEdit* field, QPointer<SecureVeskPreview> preview, QString SecureEditValues::*value)
{
    field->setText(preview->editValues().*value);
    QObject::connect(field, &QLineEdit::textChanged, field, [preview, value](const QString& text) {
        if (preview)
            preview->editValues().*value = text;
    });
}

} // namespace

SecureEditSheet::SecureEditSheet(SecureVeskPreview& preview, QWidget* parent)
    : QDialog(parent), m_preview(&preview)
{
    const bool card = preview.isCardItem();
    setObjectName(QStringLiteral("secureEditSheet"));
    setWindowTitle(card ? QStringLiteral("Edit Credit Card Vesk") : QStringLiteral("Edit Secure Vesk"));
    setWindowModality(Qt::WindowModal);
    if (parent)
        setWindowFlags(windowFlags() | Qt::Sheet);
    setFixedWidth(card ? 590 : 570);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);

    const SecureSheetHeader header = addSecureSheetHeader(column, card, this);
    header.title->setObjectName(QStringLiteral("secureEditTitle"));
    header.title->setText(windowTitle());
    header.subtitle->setText(
        card ? QStringLiteral("Card number, expiration, and code remain protected in the system keyring.")
             : QStringLiteral("Update the reference details. Leave the secret blank to keep the current one."));

    addReferenceFields(column);
    if (card)
        addCardFields(column);
    else
        addPasswordFields(column);

    // Footer.
    auto* footer = new QVBoxLayout;
    footer->setSpacing(10);
    m_failureLine = makeSymbolLabel(QStringLiteral("exclamationmark.triangle"), kFailure, this,
                                    QStringLiteral("secureEditFailure"));
    m_failureText = m_failureLine->findChild<QLabel*>(QStringLiteral("secureEditFailureText"));
    m_failureLine->setVisible(preview.editValues().saveFailed);
    // Centred between two stretches, yet as wide as the footer: the text wraps onto as many lines
    // as it needs, and the footer, being given the line's whole width, asks for their height.
    auto* failureRow = static_cast<QHBoxLayout*>(m_failureLine->layout());
    failureRow->setStretchFactor(m_failureText, 0);
    failureRow->insertStretch(0, 1);
    failureRow->addStretch(1);
    footer->addWidget(m_failureLine);
    auto* buttons = new QHBoxLayout;
    QWidget* protectedNote = makeSymbolLabel(QStringLiteral("lock.fill"),
                                             QStringLiteral("Protected fields remain in the system keyring"), this,
                                             QStringLiteral("secureEditFooter"));
    protectedNote->findChild<QLabel*>(QStringLiteral("secureEditFooterText"))->setWordWrap(false);
    buttons->addWidget(protectedNote);
    buttons->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setAutoDefault(false);
    buttons->addWidget(m_cancelButton);
    m_saveButton = prominentButton(QStringLiteral("Save Changes"), this);
    buttons->addWidget(m_saveButton);
    footer->addLayout(buttons);
    column->addLayout(footer);

    const auto enableSave = [this] { m_saveButton->setEnabled(!trimmedSecureText(m_title->text()).isEmpty()); };
    enableSave();
    connect(m_title, &QLineEdit::textChanged, this, enableSave);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        if (m_preview)
            m_preview->cancelEditing();
        else
            reject();
    });
    connect(m_saveButton, &QPushButton::clicked, this, [this] {
        if (m_preview)
            m_preview->saveEdits();
    });
    connect(&preview, &SecureVeskPreview::editSaveFailedChanged, this, &SecureEditSheet::showSaveFailure);
    adjustSize();
}

void SecureEditSheet::addReferenceFields(QVBoxLayout* column)
{
    auto* fields = new QVBoxLayout;
    fields->setSpacing(12);
    m_title = makeSecureLineEdit(QStringLiteral("Name"), this);
    bind(m_title, m_preview, &SecureEditValues::title);
    fields->addLayout(makeLabelledField(QStringLiteral("Name"), m_title, this));
    m_details = makeSecureLineEdit(QStringLiteral("Optional — searchable in Vesk"), this);
    bind(m_details, m_preview, &SecureEditValues::details);
    fields->addLayout(makeLabelledField(QStringLiteral("Details"), m_details, this));
    m_note = makeReferenceNoteEditor(100, this);
    m_note->setPlainText(m_preview->editValues().note);
    connect(m_note, &QPlainTextEdit::textChanged, this, [this] {
        if (m_preview)
            m_preview->editValues().note = m_note->toPlainText();
    });
    fields->addLayout(makeLabelledField(QStringLiteral("Reference note"), m_note, this));
    column->addLayout(fields);
}

void SecureEditSheet::addPasswordFields(QVBoxLayout* column)
{
    // Never shows the current secret: it starts empty, and no control reveals what is typed.
    m_secret = makeSecureLineEdit(QStringLiteral("Leave blank to keep the current secret"), this);
    m_secret->setEchoMode(QLineEdit::Password);
    bind(m_secret, m_preview, &SecureEditValues::secret);
    column->addLayout(makeLabelledField(QStringLiteral("New password / secret"), m_secret, this));
}

void SecureEditSheet::addCardFields(QVBoxLayout* column)
{
    auto* block = new SecurePanel({13, 0.06}, this);
    auto* card = new QVBoxLayout(block);
    card->setContentsMargins(14, 14, 14, 14);
    card->setSpacing(12);
    card->addWidget(new CreditCardStatusBadge(false, block), 0, Qt::AlignLeft);
    const SecureCardFields fields = addSecureCardFields(card, QStringLiteral("1234 5678 9012 3456"), block);
    m_cardNumber = fields.number;
    m_expiration = fields.expiration;
    m_code = fields.code;
    column->addWidget(block);

    bind(m_cardNumber, m_preview, &SecureEditValues::cardNumber);
    bind(m_expiration, m_preview, &SecureEditValues::expiration);
    bind(m_code, m_preview, &SecureEditValues::cvv);
    // Shaping reacts to changes from here on, not to the values the sheet opened with.
    shapeCardFieldsWhileTyping(fields);
}

void SecureEditSheet::showSaveFailure()
{
    if (!m_preview)
        return;
    const bool failed = m_preview->editValues().saveFailed;
    if (failed) {
        const QString reason = m_preview->editFailureReason();
        m_failureText->setText(reason.isEmpty() ? kFailure : kFailure + QLatin1Char(' ') + reason);
        // A wrapping label asks for a narrow block of its own choosing; the line takes the width
        // its text needs, up to the footer's, and wraps only past that.
        const QMargins margins = layout()->contentsMargins();
        const QLayout* row = m_failureLine->layout();
        const int icon = row->itemAt(1)->sizeHint().width() + row->spacing();
        const int available = width() - margins.left() - margins.right() - icon;
        const int oneLine = int(std::ceil(QFontMetricsF(m_failureText->font()).horizontalAdvance(m_failureText->text()))) + 2;
        m_failureText->setMinimumWidth(std::max(0, std::min(oneLine, available)));
    }
    m_failureLine->setVisible(failed);
    // The sheet's width is fixed; its height follows the lines the failure now takes.
    layout()->activate();
    adjustSize();
}

} // namespace vesk
