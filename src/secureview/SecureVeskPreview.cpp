#include "secureview/SecureVeskPreview.h"

#include "model/ItemFileKinds.h"
#include "platform/Timers.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "secure/CardRules.h"
#include "secure/SecureKinds.h"
#include "secure/SecureVeskKeychain.h"
#include "secureview/SecureBadges.h"
#include "secureview/SecureEditSheet.h"
#include "secureview/SecureFormParts.h"
#include "secureview/SecureMasks.h"
#include "secureview/SecurePanel.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

QLabel* fieldCaption(const QString& text, QWidget* parent)
{
    auto* label = makeSecureCaption(text, TextStyle::Caption, true, parent);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

QFont valueFont(bool monospaced, QFont::Weight weight)
{
    QFont font = Theme::font(13, weight);
    if (monospaced) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(font.pointSizeF());
        fixed.setWeight(weight);
        return fixed;
    }
    return font;
}

QToolButton* iconButton(const QString& symbol, const QString& tip, const QString& objectName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIcon(IconMap::icon(symbol, Theme::current().secondary(), 15));
    button->setToolTip(tip);
    return button;
}

} // namespace

SecureVeskPreview::SecureVeskPreview(VeskStore& store, const VeskItem& item, std::shared_ptr<Timers> timers,
                                     QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_item(item)
    , m_isCard(isCreditCardItem(item))
    , m_timers(timers ? std::move(timers) : SystemTimers::shared())
{
    setObjectName(QStringLiteral("secureVeskPreview"));
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(14);

    m_column->addWidget(makeHeader());
    m_column->addWidget(makeReferenceRow(QStringLiteral("Name"), m_item.title, QStringLiteral("secureName")));
    const QString details = trimmedSecureText(m_item.note);
    if (!details.isEmpty())
        m_column->addWidget(makeReferenceRow(QStringLiteral("Details"), details, QStringLiteral("secureDetails")));
    m_protected = makeProtectedSection();
    m_column->addWidget(m_protected);

    const QString reference = trimmedSecureText(decodedText(m_item.text));
    if (!reference.isEmpty()) {
        auto* block = new QWidget(this);
        auto* column = new QVBoxLayout(block);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(6);
        column->addWidget(fieldCaption(QStringLiteral("Reference note"), block));
        auto* box = new SecurePanel({11, 0, 0.022}, block);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(11, 11, 11, 11);
        auto* text = new QLabel(reference, box);
        text->setObjectName(QStringLiteral("secureReferenceNote"));
        text->setFont(Theme::font(13));
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        boxLayout->addWidget(text);
        column->addWidget(box);
        m_column->addWidget(block);
    }

    auto* footnote = makeSecureCaption(
        m_isCard ? QStringLiteral("Card number, expiration, and code are excluded from Vesk search, OCR, embeddings, "
                                  "and SQLite.")
                 : QStringLiteral("The password is never added to Vesk search, OCR, embeddings, or SQLite."),
        TextStyle::Caption2, true, this);
    footnote->setObjectName(QStringLiteral("secureFootnote"));
    m_column->addWidget(footnote);

    // Leaving the application hides whatever is revealed.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            hideRevealedValues();
    });
    QTimer::singleShot(0, this, &SecureVeskPreview::loadSecureValues);
}

SecureVeskPreview::~SecureVeskPreview()
{
    cancelRevealTimeout();
    // The sheet is a window of its own: it may be running the save that replaced this view.
    if (m_editSheet) {
        m_editSheet->hide();
        m_editSheet->deleteLater();
    }
}

// --- Protected values ---

void SecureVeskPreview::loadSecureValues()
{
    cancelRevealTimeout();
    m_isRevealed = false;
    m_secret.reset();
    m_card.reset();
    m_loadError.reset();
    SecretStore& secrets = *m_store.services().secrets;
    if (m_isCard) {
        auto read = SecureVeskKeychain::readCreditCard(secrets, m_item.id);
        if (!read)
            m_loadError = read.error().localizedDescription();
        else if (!read->has_value())
            m_loadError = QStringLiteral("No system keyring card data was found for this Vesk.");
        else
            m_card = **read;
    } else {
        auto read = SecureVeskKeychain::readSecret(secrets, m_item.id);
        if (!read)
            m_loadError = read.error().localizedDescription();
        else if (!read->has_value())
            m_loadError = QStringLiteral("No system keyring secret was found for this Vesk.");
        else
            m_secret = **read;
    }
    render();
}

void SecureVeskPreview::toggleReveal()
{
    cancelRevealTimeout();
    if (m_isRevealed) {
        m_isRevealed = false;
    } else {
        m_isRevealed = true;
        m_revealTimeout = m_timers->after(kExposureMs, this, [this] {
            m_revealTimeout.reset();
            m_isRevealed = false;
            render();
        });
    }
    render();
}

void SecureVeskPreview::hideRevealedValues()
{
    cancelRevealTimeout();
    if (!m_isRevealed)
        return;
    m_isRevealed = false;
    render();
}

void SecureVeskPreview::cancelRevealTimeout()
{
    if (m_revealTimeout)
        m_revealTimeout->cancel();
    m_revealTimeout.reset();
}

void SecureVeskPreview::copyTemporarily(const QString& text, bool protectedValue)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* data = new QMimeData;
    data->setText(text);
    if (protectedValue)
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    clipboard->setMimeData(data);
    // Outlives this view; whatever else the user copied meanwhile stays.
    m_timers->after(kExposureMs, qApp, [text] {
        QClipboard* board = QGuiApplication::clipboard();
        if (!board->text().isEmpty() && board->text() == text)
            board->clear();
    });
}

void SecureVeskPreview::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    hideRevealedValues();
}

// --- Editing ---

void SecureVeskPreview::beginEditing()
{
    m_edit = SecureEditValues{};
    m_edit.title = m_item.title;
    m_edit.details = trimmedSecureText(m_item.note);
    m_edit.note = trimmedSecureText(decodedText(m_item.text));
    if (m_card) {
        m_edit.cardNumber = formatCardNumber(m_card->number);
        m_edit.expiration = m_card->expiration;
        m_edit.cvv = m_card->cvv;
    }
    closeEditSheet();
    // A window of its own (not a child of this view), so that a save which makes the pane
    // replace this view never deletes the sheet under its own button.
    QWidget* host = window() != this ? window() : nullptr;
    m_editSheet = new SecureEditSheet(*this, host);
    m_editSheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_editSheet, &QDialog::finished, this, [this] { m_editSheet = nullptr; });
    m_editSheet->open();
}

void SecureVeskPreview::cancelEditing()
{
    closeEditSheet();
}

void SecureVeskPreview::closeEditSheet()
{
    if (QPointer<SecureEditSheet> sheet = m_editSheet) {
        m_editSheet = nullptr;
        sheet->close();
    }
}

void SecureVeskPreview::finishEditing(const std::function<SecureItemSave()>& save)
{
    QPointer<SecureVeskPreview> self(this);
    const SecureItemSave saved = save ? save() : SecureItemSave(unexpected(SecureItemFailure{}));
    if (!self)
        return; // the pane showed the edited item in a fresh view, which reads its values itself
    const bool accepted = saved.hasValue();
    m_editKeychainFailure = accepted ? std::nullopt : saved.error().keychain;
    m_edit.saveFailed = !accepted;
    emit editSaveFailedChanged();
    if (!accepted)
        return;
    closeEditSheet();
    QTimer::singleShot(0, this, &SecureVeskPreview::loadSecureValues);
}

void SecureVeskPreview::saveEdits()
{
    VeskStore* store = &m_store;
    const VeskItem item = m_item;
    const SecureEditValues values = m_edit;
    if (m_isCard) {
        finishEditing([=] {
            return store->updateCreditCard(item, values.title, values.details, digitsOnly(values.cardNumber),
                                           values.expiration, digitsOnly(values.cvv), values.note);
        });
    } else {
        finishEditing([=] {
            return store->updateSecureItem(item, values.title, values.details, values.secret, values.note);
        });
    }
}

QString SecureVeskPreview::editFailureReason() const
{
    const auto& failure = m_editKeychainFailure;
    return failure && failure->kind == KeychainError::Kind::Unavailable ? failure->localizedDescription() : QString();
}

// --- Widgets ---

void SecureVeskPreview::render()
{
    QWidget* fresh = makeProtectedSection();
    delete m_column->replaceWidget(m_protected, fresh); // the old item is ours to delete
    // Later: the click that asked for this may come from a button inside the old section.
    m_protected->hide();
    m_protected->deleteLater();
    m_protected = fresh;
    emit protectedValuesChanged();
}

QWidget* SecureVeskPreview::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    row->addWidget(new SecureShieldGlyph(18, header), 0, Qt::AlignVCenter);
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addWidget(new SecureStatusBadge(true, header), 0, Qt::AlignLeft);
    auto* title = new QLabel(m_isCard ? QStringLiteral("Secure Credit Card") : QStringLiteral("Secure Vesk"), header);
    title->setObjectName(QStringLiteral("secureHeaderTitle"));
    title->setFont(Theme::font(TextStyle::Headline));
    text->addWidget(title);
    text->addWidget(makeSecureCaption(m_isCard ? QStringLiteral("Card credentials stored in the system keyring")
                                               : QStringLiteral("Password stored in the system keyring"),
                                      TextStyle::Caption, false, header));
    row->addLayout(text, 1);
    auto* edit = new QPushButton(IconMap::icon(QStringLiteral("pencil"), Theme::current().label(), 13),
                                 QStringLiteral("Edit"), header);
    edit->setObjectName(QStringLiteral("secureEditButton"));
    edit->setAutoDefault(false);
    edit->setToolTip(m_isCard ? QStringLiteral("Edit this credit card Vesk") : QStringLiteral("Edit this Secure Vesk"));
    connect(edit, &QPushButton::clicked, this, &SecureVeskPreview::beginEditing);
    row->addWidget(edit, 0, Qt::AlignVCenter);
    return header;
}

QWidget* SecureVeskPreview::makeReferenceRow(const QString& caption, const QString& text, const QString& objectName)
{
    auto* block = new QWidget(this);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(fieldCaption(caption, block));
    column->addWidget(makeFieldRow(false, text, text, objectName));
    return block;
}

QWidget* SecureVeskPreview::makeProtectedSection()
{
    if (m_isCard)
        return m_card ? makeCardSection() : makeStatusView();
    return m_secret ? makePasswordSection() : makeStatusView();
}

QWidget* SecureVeskPreview::makeStatusView()
{
    if (m_loadError) {
        QWidget* failure = makeSymbolLabel(QStringLiteral("exclamationmark.triangle"), *m_loadError, this,
                                           QStringLiteral("secureStatus"));
        return failure;
    }
    auto* reading = new QWidget(this);
    reading->setObjectName(QStringLiteral("secureStatus"));
    auto* row = new QHBoxLayout(reading);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* spinner = new QProgressBar(reading);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(40, 8);
    row->addWidget(spinner);
    auto* text = makeSecureCaption(QStringLiteral("Reading system keyring…"), TextStyle::Caption, false, reading);
    text->setObjectName(QStringLiteral("secureStatusText"));
    row->addWidget(text, 1);
    return reading;
}

QWidget* SecureVeskPreview::makePasswordSection()
{
    auto* block = new QWidget(this);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(fieldCaption(QStringLiteral("Password / secret"), block));
    const QString shown = m_isRevealed ? *m_secret : maskedSecret(*m_secret);
    column->addWidget(makeFieldRow(true, shown, *m_secret, QStringLiteral("securePassword")));
    return block;
}

QWidget* SecureVeskPreview::makeCardSection()
{
    auto* panel = new SecurePanel({13, 0.08, 0.02, 0.16, 0.8}, this);
    panel->setObjectName(QStringLiteral("secureCardSection"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);

    auto* top = new QHBoxLayout;
    top->addWidget(new CreditCardStatusBadge(true, panel));
    top->addStretch(1);
    auto* reveal = new QPushButton(
        IconMap::icon(m_isRevealed ? QStringLiteral("eye.slash") : QStringLiteral("eye"), Theme::white(0.98), 13),
        m_isRevealed ? QStringLiteral("Hide") : QStringLiteral("Reveal"), panel);
    reveal->setObjectName(QStringLiteral("secureRevealButton"));
    reveal->setAutoDefault(false);
    reveal->setFont(Theme::font(12, QFont::DemiBold));
    reveal->setStyleSheet(QStringLiteral(
        "QPushButton { color: rgba(250, 250, 255, 250); padding: 6px 10px; border-radius: 13px;"
        " border: 0.9px solid rgba(102, 178, 255, 97);"
        " background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 rgba(41, 107, 184, 184),"
        " stop:1 rgba(26, 71, 133, 199)); }"));
    connect(reveal, &QPushButton::clicked, this, &SecureVeskPreview::toggleReveal);
    top->addWidget(reveal);
    column->addLayout(top);

    auto* numberColumn = new QVBoxLayout;
    numberColumn->setSpacing(6);
    numberColumn->addWidget(fieldCaption(QStringLiteral("Card number"), panel));
    const QString number = m_isRevealed ? formatCardNumber(m_card->number) : maskedCardNumber(m_card->number);
    numberColumn->addWidget(makeFieldRow(true, number, m_card->number, QStringLiteral("secureCardNumber")));
    column->addLayout(numberColumn);

    auto* boxes = new QHBoxLayout;
    boxes->setSpacing(10);
    boxes->addWidget(makeCardBox(QStringLiteral("Expiration"), m_isRevealed ? m_card->expiration : maskedExpiration(),
                                 QStringLiteral("secureExpiration")));
    boxes->addWidget(makeCardBox(QStringLiteral("Code"), m_isRevealed ? m_card->cvv : maskedCode(m_card->cvv),
                                 QStringLiteral("secureCode")));
    column->addLayout(boxes);
    return panel;
}

QWidget* SecureVeskPreview::makeFieldRow(bool secret, const QString& shown, const QString& copyText,
                                         const QString& objectName)
{
    auto* box = new SecurePanel({11, 0, 0.025}, this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(11, 11, 11, 11);
    row->setSpacing(8);
    auto* text = new QLabel(shown, box);
    text->setObjectName(objectName + QStringLiteral("Value"));
    text->setFont(valueFont(secret, QFont::Medium));
    text->setWordWrap(!secret);
    if (!secret || m_isRevealed)
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(text, 1);
    if (secret && !m_isCard) {
        QToolButton* eye = iconButton(m_isRevealed ? QStringLiteral("eye.slash") : QStringLiteral("eye"),
                                      m_isRevealed ? QStringLiteral("Hide secret") : QStringLiteral("Reveal secret"),
                                      objectName + QStringLiteral("Reveal"), box);
        connect(eye, &QToolButton::clicked, this, &SecureVeskPreview::toggleReveal);
        row->addWidget(eye);
    }
    QToolButton* copy = iconButton(QStringLiteral("doc.on.doc"), QStringLiteral("Copy for 30 seconds"),
                                   objectName + QStringLiteral("Copy"), box);
    connect(copy, &QToolButton::clicked, this, [this, copyText, secret] { copyTemporarily(copyText, secret); });
    row->addWidget(copy);
    return box;
}

QWidget* SecureVeskPreview::makeCardBox(const QString& label, const QString& value, const QString& objectName)
{
    auto* box = new SecurePanel({10, 0, 0.025}, this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(4);
    auto* caption = makeSecureCaption(label, TextStyle::Caption2, true, box);
    QFont captionFont = caption->font();
    captionFont.setWeight(QFont::DemiBold);
    caption->setFont(captionFont);
    column->addWidget(caption);
    auto* text = new QLabel(value, box);
    text->setObjectName(objectName + QStringLiteral("Value"));
    text->setFont(valueFont(true, QFont::DemiBold));
    if (m_isRevealed)
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(text);
    return box;
}

} // namespace vesk
