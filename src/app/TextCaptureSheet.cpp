#include "app/TextCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RichTextSheetParts.h"
#include "richtext/VeskRichTextController.h"
#include "richtext/VeskRichTextEditor.h"
#include "richtext/VeskRichTextToolbar.h"
#include "store/VeskStore.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>
#include <QVBoxLayout>

namespace vesk {

TextCaptureSheet::TextCaptureSheet(MainWindowState& state, NoteSink sink, QWidget* parent,
                                   std::shared_ptr<Timers> timers)
    : QDialog(parent), m_state(&state), m_sink(std::move(sink)), m_draft(makeRichTextDocument())
    , m_timers(timers ? std::move(timers) : SystemTimers::shared())
{
    setWindowTitle(QStringLiteral("New Vesk"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(820, 500);
    m_controller = new VeskRichTextController(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(14);

    column->addLayout(sheetHeader(QStringLiteral("New Vesk"), QStringLiteral("Write it the way you want it to look."), this));
    column->addLayout(sheetNameField(m_nameField, this));
    m_nameField->setText(state.draftTitle());
    connect(m_nameField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_state)
            m_state->setDraftTitle(text);
    });

    // Formatting toolbar.
    m_toolbar = new VeskRichTextToolbar(m_controller, VeskRichTextToolbar::standardSizes(), this);
    column->addWidget(m_toolbar);

    // Note.
    auto* note = new QVBoxLayout;
    note->setSpacing(6);
    note->addWidget(sheetCaption(QStringLiteral("Note"), QFont::DemiBold, this));
    m_editor = new VeskRichTextEditor(m_controller, this);
    note->addWidget(framedEditor(m_editor, QStringLiteral("noteFrame"), this), 1);
    column->addLayout(note, 1);

    m_failure = sheetCaption(QString(), QFont::Normal, this);
    m_failure->setObjectName(QStringLiteral("captureFailure"));
    m_failure->setWordWrap(true);
    m_failure->hide();
    column->addWidget(m_failure);

    // Footer.
    const SheetButtons buttons =
        sheetButtons(QStringLiteral("Rich text is stored locally with the Vesk."), QStringLiteral("Vesk It"), this);
    m_cancelButton = buttons.cancel;
    m_keepButton = buttons.confirm;
    column->addLayout(buttons.row);

    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_keepButton, &QPushButton::clicked, this, &TextCaptureSheet::saveTextCapture);

    // An earlier draft still in the window state (the opening resets it, so normally none).
    if (!state.draftRichText().isEmpty()) {
        m_draft->setHtml(state.draftRichText());
        m_editor->setAttributedText(*m_draft);
    }
    connect(m_editor, &VeskRichTextEditor::attributedTextChanged, this, &TextCaptureSheet::noteChanged);
    keepDraft();
}

TextCaptureSheet::~TextCaptureSheet() = default;

void TextCaptureSheet::noteChanged()
{
    m_failure->hide();
    // Per key only what is cheap: whether there is anything to keep, read without copying.
    if (m_editor) {
        const QString text = m_editor->textView()->document()->toPlainText();
        m_keepButton->setEnabled(std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); }));
    }
    if (m_pendingDraft)
        m_pendingDraft->cancel();
    m_pendingDraft = m_timers->after(draftDebounceMs, this, [this] { keepDraft(); });
}

void TextCaptureSheet::keepDraft()
{
    if (m_pendingDraft)
        m_pendingDraft->cancel();
    m_pendingDraft.reset();
    if (m_editor) {
        m_draft.reset(m_editor->attributedText().release());
        if (m_state)
            m_state->setDraftRichText(documentText(*m_draft).trimmed().isEmpty() ? QString() : m_draft->toHtml());
    }
    m_keepButton->setEnabled(!draftPlainText().trimmed().isEmpty());
}

void TextCaptureSheet::done(int result)
{
    // The window state holds the note as it was when the sheet closed.
    if (m_pendingDraft)
        keepDraft();
    QDialog::done(result);
}

QString TextCaptureSheet::draftPlainText() const
{
    return documentText(*m_draft);
}

void TextCaptureSheet::saveTextCapture()
{
    // The text is read from the live editor; should it be gone, from the last draft, so a typed
    // note is never dropped in favour of an empty one.
    QTextEdit* live = m_controller->textView();
    const QTextDocument& source = live ? *live->document() : *m_draft;
    const QString plainText = documentPlainText(source);
    if (plainText.trimmed().isEmpty())
        return;
    const QString title = m_nameField->text();
    const std::optional<QByteArray> rtf = makeRTFData(source);
    if (m_sink) {
        if (const std::optional<QString> refused = m_sink(title, plainText, rtf)) {
            // Closed, the sheet would take the typed note with it.
            m_failure->setText(QStringLiteral("Vesk couldn't keep this note")
                               + (refused->isEmpty() ? QString() : QStringLiteral(": ") + *refused) + QLatin1Char('.'));
            m_failure->show();
            return;
        }
    }
    accept();
}

QDialog* makeTextCaptureSheet(MainWindow& window)
{
    QPointer<VeskStore> store(&window.store());
    return new TextCaptureSheet(
        window.state(),
        [store](const std::optional<QString>& title, const QString& plainText,
                const std::optional<QByteArray>& rtf) -> std::optional<QString> {
            if (!store)
                return QString();
            if (std::optional<QString> refused = store->newItemRefusal())
                return refused;
            store->addRichTextNote(title, plainText, rtf);
            return std::nullopt;
        },
        &window, window.store().services().timers);
}

} // namespace vesk
