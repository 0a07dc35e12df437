#include "secureview/SecureVeskComposer.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "secure/CardRules.h"
#include "secureview/SecureBadges.h"
#include "secureview/SecurePanel.h"
#include "secureview/SecureFormParts.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <algorithm>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

struct KindTexts {
    QString title;
    QString subtitle;
    QString namePlaceholder;
    QString detailsPlaceholder;
    QString footer;
};

KindTexts kindTexts(SecureVeskKind kind)
{
    if (kind == SecureVeskKind::CreditCard) {
        return {QStringLiteral("New Credit Card Vesk"),
                QStringLiteral("Card number, expiration, and code are stored in the system keyring."),
                QStringLiteral("Example: Travel Rewards, Visa, Mastercard"),
                QStringLiteral("Optional — cardholder, bank, account nickname"),
                QStringLiteral("Card credentials are system keyring protected")};
    }
    return {QStringLiteral("New Secure Vesk"),
            QStringLiteral("The secret is stored in the system keyring, not in Vesk's database."),
            QStringLiteral("Example: Domain registrar, Encrypted disk image, Home router"),
            QStringLiteral("Optional — searchable in Vesk"), QStringLiteral("System keyring protected")};
}

const QString kFailure = QStringLiteral("Vesk couldn't save this secure item.");

} // namespace

SecureVeskComposer::SecureVeskComposer(Actions actions, QWidget* parent)
    : QDialog(parent), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("secureVeskComposer"));
    setWindowTitle(QStringLiteral("New Secure Vesk"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(590);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);

    column->setSpacing(16);

    // 1. Header.
    const SecureSheetHeader header = addSecureSheetHeader(column, false, this);
    m_headerTitle = header.title;
    m_headerSubtitle = header.subtitle;

    // 2. Kind picker: one segment per kind.
    auto* picker = new QHBoxLayout;
    picker->setSpacing(0);
    auto* segments = new QButtonGroup(this);
    for (SecureVeskKind kind : kAllSecureVeskKinds) {
        auto* segment = new QPushButton(secureVeskKindRawValue(kind), this);
        segment->setCheckable(true);
        segment->setAutoDefault(false);
        segment->setAccessibleName(QStringLiteral("Secure Vesk Type"));
        segments->addButton(segment);
        picker->addWidget(segment, 1);
        connect(segment, &QPushButton::clicked, this, [this, kind] { setKind(kind); });
        (kind == SecureVeskKind::Secret ? m_secretKindButton : m_cardKindButton) = segment;
    }
    m_secretKindButton->setChecked(true);
    column->addLayout(picker);

    // 3, 4. Name and details.
    m_title = makeSecureLineEdit(QString(), this);
    column->addLayout(makeLabelledField(QStringLiteral("Name"), m_title, this));
    m_details = makeSecureLineEdit(QString(), this);
    column->addLayout(makeLabelledField(QStringLiteral("Details"), m_details, this));

    // 5a. The secret, hidden until the eye is pressed.
    m_secretBlock = new QWidget(this);
    auto* secretRow = new QHBoxLayout;
    secretRow->setSpacing(8);
    m_secret = makeSecureLineEdit(QStringLiteral("Required"), m_secretBlock);
    m_secret->setEchoMode(QLineEdit::Password);
    secretRow->addWidget(m_secret, 1);
    m_showSecretButton = new QToolButton(m_secretBlock);
    m_showSecretButton->setObjectName(QStringLiteral("showSecretButton"));
    m_showSecretButton->setFixedWidth(18 + 12);
    connect(m_showSecretButton, &QToolButton::clicked, this, &SecureVeskComposer::toggleShowSecret);
    secretRow->addWidget(m_showSecretButton);
    auto* secretColumn = new QVBoxLayout(m_secretBlock);
    secretColumn->setContentsMargins(0, 0, 0, 0);
    secretColumn->setSpacing(6);
    secretColumn->addWidget(makeFieldLabel(QStringLiteral("Password / secret"), m_secretBlock));
    secretColumn->addLayout(secretRow);
    column->addWidget(m_secretBlock);

    // 5b. The card's protected fields on their panel.
    m_cardBlock = new SecurePanel({14, 0.09, 0.025, 0.18, 0.9}, this);
    auto* card = new QVBoxLayout(m_cardBlock);
    card->setContentsMargins(14, 14, 14, 14);
    card->setSpacing(12);
    auto* cardHeader = new QHBoxLayout;
    cardHeader->addWidget(new CreditCardStatusBadge(false, m_cardBlock));
    cardHeader->addStretch(1);
    auto* protectedNote = makeSecureCaption(QStringLiteral("Protected fields"), TextStyle::Caption2, true, m_cardBlock);
    QFont protectedFont = protectedNote->font();
    protectedFont.setWeight(QFont::DemiBold);
    protectedNote->setFont(protectedFont);
    protectedNote->setWordWrap(false);
    cardHeader->addWidget(protectedNote);
    card->addLayout(cardHeader);
    const SecureCardFields cardFields = addSecureCardFields(card, QStringLiteral("15 or 16 digits"), m_cardBlock);
    shapeCardFieldsWhileTyping(cardFields);
    m_cardNumber = cardFields.number;
    m_expiration = cardFields.expiration;
    m_code = cardFields.code;
    column->addWidget(m_cardBlock);

    // 6. Reference note.
    auto* noteColumn = new QVBoxLayout;
    noteColumn->setSpacing(6);
    m_note = makeReferenceNoteEditor(95, this);
    noteColumn->addLayout(makeLabelledField(QStringLiteral("Reference note"), m_note, this));
    m_cardNoteHint = makeSecureCaption(
        QStringLiteral("Do not put the card number or code here. Protected card fields stay in the system keyring."),
        TextStyle::Caption2, true, this);
    noteColumn->addWidget(m_cardNoteHint);
    column->addLayout(noteColumn);

    // 7. Failure line.
    m_failureLine = makeSymbolLabel(QStringLiteral("exclamationmark.triangle"), kFailure, this,
                                    QStringLiteral("secureComposerFailure"));
    m_failureText = m_failureLine->findChild<QLabel*>(QStringLiteral("secureComposerFailureText"));
    m_failureLine->hide();
    column->addWidget(m_failureLine);

    // 8. Footer.
    auto* footer = new QHBoxLayout;
    QWidget* footerLabel = makeSymbolLabel(QStringLiteral("lock.fill"), QString(), this, QStringLiteral("secureComposerFooter"));
    m_footerText = footerLabel->findChild<QLabel*>(QStringLiteral("secureComposerFooterText"));
    m_footerText->setWordWrap(false);
    footer->addWidget(footerLabel);
    footer->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setAutoDefault(false);
    footer->addWidget(m_cancelButton);
    m_saveButton = prominentButton(QStringLiteral("Vesk It"), this);
    footer->addWidget(m_saveButton);
    column->addLayout(footer);

    connect(m_cancelButton, &QPushButton::clicked, this, [this] {
        if (m_actions.cancel)
            m_actions.cancel();
        else
            reject();
    });
    connect(m_saveButton, &QPushButton::clicked, this, &SecureVeskComposer::save);
    for (QLineEdit* field : {m_title, m_details, m_secret, m_cardNumber, m_expiration, m_code})
        connect(field, &QLineEdit::textChanged, this, &SecureVeskComposer::fieldsChanged);

    kindChanged();
    toggleShowSecret();
    toggleShowSecret(); // sets the eye's symbol and tooltip for the hidden state
}

QPushButton* SecureVeskComposer::kindButton(SecureVeskKind kind) const
{
    return kind == SecureVeskKind::Secret ? m_secretKindButton : m_cardKindButton;
}

void SecureVeskComposer::setKind(SecureVeskKind kind)
{
    if (m_kind == kind)
        return;
    m_kind = kind;
    kindChanged();
}

void SecureVeskComposer::kindChanged()
{
    // Nothing typed is cleared: name, details and note serve both kinds, and the hidden kind's
    // fields keep their text.
    kindButton(m_kind)->setChecked(true);
    const KindTexts texts = kindTexts(m_kind);
    m_headerTitle->setText(texts.title);
    m_headerSubtitle->setText(texts.subtitle);
    m_title->setPlaceholderText(texts.namePlaceholder);
    m_details->setPlaceholderText(texts.detailsPlaceholder);
    m_footerText->setText(texts.footer);
    const bool card = m_kind == SecureVeskKind::CreditCard;
    m_secretBlock->setVisible(!card);
    m_cardBlock->setVisible(card);
    m_cardNoteHint->setVisible(card);
    fieldsChanged();
    // The width is fixed; the height follows the block of the kind. The minimum size leaves out
    // what the wrapped captions need at this width: sized by it alone, the sheet squeezed the
    // card's fields below their text.
    layout()->invalidate();
    layout()->activate();
    adjustSize();
    if (layout()->hasHeightForWidth())
        resize(width(), std::max(height(), layout()->totalHeightForWidth(width())));
}

void SecureVeskComposer::toggleShowSecret()
{
    m_showSecret = !m_showSecret;
    m_secret->setEchoMode(m_showSecret ? QLineEdit::Normal : QLineEdit::Password);
    m_showSecretButton->setIcon(
        IconMap::icon(m_showSecret ? QStringLiteral("eye.slash") : QStringLiteral("eye"), Theme::current().label(), 16));
    m_showSecretButton->setToolTip(m_showSecret ? QStringLiteral("Hide secret") : QStringLiteral("Show secret"));
}

bool SecureVeskComposer::canSave() const
{
    if (m_kind == SecureVeskKind::CreditCard)
        return canSaveCreditCard(m_title->text(), m_cardNumber->text(), m_expiration->text(), m_code->text());
    // A secret of spaces is a secret: it is not trimmed.
    return !trimmedSecureText(m_title->text()).isEmpty() && !m_secret->text().isEmpty();
}

void SecureVeskComposer::fieldsChanged()
{
    m_saveButton->setEnabled(canSave());
}

void SecureVeskComposer::save()
{
    if (!canSave())
        return;
    const QString note = m_note->toPlainText();
    bool saved = false;
    if (m_kind == SecureVeskKind::CreditCard) {
        if (m_actions.saveCreditCard)
            saved = m_actions.saveCreditCard(m_title->text(), m_details->text(), digitsOnly(m_cardNumber->text()),
                                             m_expiration->text(), m_code->text(), note);
    } else if (m_actions.saveSecret) {
        saved = m_actions.saveSecret(m_title->text(), m_details->text(), m_secret->text(), note);
    }
    m_saveFailed = !saved;
    if (m_saveFailed) {
        const QString reason = m_actions.failureReason ? m_actions.failureReason() : QString();
        m_failureText->setText(reason.isEmpty() ? kFailure : kFailure + QLatin1Char(' ') + reason);
    }
    m_failureLine->setVisible(m_saveFailed);
}

} // namespace vesk
