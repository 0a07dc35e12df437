#include "app/TextCaptureSheet.h"

#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "platform/ui/Theme.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextRtf.h"
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
#include <QVBoxLayout>

namespace vesk {

namespace {

QLabel* captionLabel(const QString& text, QFont::Weight weight, QWidget* parent)
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

} // namespace

TextCaptureSheet::TextCaptureSheet(MainWindowState& state, NoteSink sink, QWidget* parent)
    : QDialog(parent), m_state(&state), m_sink(std::move(sink)), m_draft(makeRichTextDocument())
{
    setWindowTitle(QStringLiteral("New Vesk"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(820, 500);
    m_controller = new VeskRichTextController(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(14);

    // Header.
    auto* header = new QVBoxLayout;
    header->setSpacing(3);
    auto* title = new QLabel(QStringLiteral("New Vesk"), this);
    QFont titleFont = Theme::font(TextStyle::Title2);
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    header->addWidget(title);
    header->addWidget(captionLabel(QStringLiteral("Write it the way you want it to look."), QFont::Normal, this));
    column->addLayout(header);

    // Name.
    auto* name = new QVBoxLayout;
    name->setSpacing(6);
    name->addWidget(captionLabel(QStringLiteral("Name"), QFont::DemiBold, this));
    m_nameField = new QLineEdit(this);
    m_nameField->setPlaceholderText(QStringLiteral("Optional — Vesk will name it from the note if left blank"));
    m_nameField->setFont(Theme::font(14));
    m_nameField->setText(state.draftTitle());
    connect(m_nameField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_state)
            m_state->setDraftTitle(text);
    });
    name->addWidget(m_nameField);
    column->addLayout(name);

    // Formatting toolbar.
    m_toolbar = new VeskRichTextToolbar(m_controller, VeskRichTextToolbar::standardSizes(), this);
    column->addWidget(m_toolbar);

    // Note.
    auto* note = new QVBoxLayout;
    note->setSpacing(6);
    note->addWidget(captionLabel(QStringLiteral("Note"), QFont::DemiBold, this));
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("noteFrame"));
    const Theme& theme = Theme::current();
    frame->setStyleSheet(QStringLiteral("QFrame#noteFrame { background: %1; border: 1px solid %2; border-radius: 12px; }")
                             .arg(theme.colors().textBackground.name(QColor::HexArgb), theme.primary(0.1).name(QColor::HexArgb)));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    m_editor = new VeskRichTextEditor(m_controller, frame);
    m_editor->setMinimumSize(600, 330);
    frameLayout->addWidget(m_editor);
    note->addWidget(frame, 1);
    column->addLayout(note, 1);

    // Footer.
    auto* footer = new QHBoxLayout;
    footer->addWidget(captionLabel(QStringLiteral("Rich text is stored locally with the Vesk."), QFont::Normal, this));
    footer->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setAutoDefault(false);
    m_keepButton = new QPushButton(QStringLiteral("Vesk It"), this);
    m_keepButton->setAutoDefault(false);
    m_keepButton->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border-radius: 6px; padding: 4px 14px; }"
                                               "QPushButton:disabled { background: %2; }")
                                    .arg(theme.accent().name(QColor::HexArgb), theme.accent(0.35).name(QColor::HexArgb)));
    footer->addWidget(m_cancelButton);
    footer->addWidget(m_keepButton);
    column->addLayout(footer);

    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_keepButton, &QPushButton::clicked, this, &TextCaptureSheet::saveTextCapture);

    // An earlier draft still in the window state (the opening resets it, so normally none).
    if (!state.draftRichText().isEmpty()) {
        m_draft->setHtml(state.draftRichText());
        m_editor->setAttributedText(*m_draft);
    }
    connect(m_editor, &VeskRichTextEditor::attributedTextChanged, this, &TextCaptureSheet::noteChanged);
    noteChanged();
}

TextCaptureSheet::~TextCaptureSheet() = default;

void TextCaptureSheet::noteChanged()
{
    if (m_editor) {
        m_draft.reset(m_editor->attributedText().release());
        if (m_state)
            m_state->setDraftRichText(documentText(*m_draft).trimmed().isEmpty() ? QString() : m_draft->toHtml());
    }
    m_keepButton->setEnabled(!draftPlainText().trimmed().isEmpty());
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
    const QString plainText = documentText(source);
    if (plainText.trimmed().isEmpty())
        return;
    const QString title = m_nameField->text();
    const std::optional<QByteArray> rtf = makeRTFData(source);
    if (m_sink)
        m_sink(title, plainText, rtf);
    accept();
}

QDialog* makeTextCaptureSheet(MainWindow& window)
{
    QPointer<VeskStore> store(&window.store());
    return new TextCaptureSheet(
        window.state(),
        [store](const std::optional<QString>& title, const QString& plainText, const std::optional<QByteArray>& rtf) {
            if (store)
                store->addRichTextNote(title, plainText, rtf);
        },
        &window);
}

} // namespace vesk
