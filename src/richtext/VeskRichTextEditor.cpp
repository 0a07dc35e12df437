#include "richtext/VeskRichTextEditor.h"

#include "richtext/FormatRuns.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"
#include "richtext/SmartPunctuation.h"
#include "richtext/VeskRichTextController.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

const QStringList& rtfMimeTypes()
{
    static const QStringList types{QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                   QStringLiteral("text/richtext")};
    return types;
}

// Removes embedded pictures: rich text holds text only.
void removePictures(QTextDocument& document)
{
    const QString text = document.toRawText();
    QTextCursor cursor(&document);
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] != QChar::ObjectReplacementCharacter)
            continue;
        cursor.setPosition(int(i));
        cursor.setPosition(int(i) + 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}

// Lists in pasted HTML become Qt text lists, whose markers are drawn rather than written: they would
// be missing from the note's plain text and stored form. Vesk lists are characters, so each item
// gets its marker as text and leaves the list.
void writeOutListMarkers(QTextDocument& document)
{
    struct Item {
        QTextBlock block;
        QString marker;
    };
    QList<Item> items;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextList* list = block.textList();
        if (!list)
            continue;
        const QTextListFormat::Style style = list->format().style();
        const bool bulleted = style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle
            || style == QTextListFormat::ListSquare || style == QTextListFormat::ListStyleUndefined;
        items.append({block, bulleted ? QStringLiteral("\u2022 ")
                                      : QString::number(list->itemNumber(block) + 1) + QStringLiteral(". ")});
    }
    for (const Item& item : items) {
        if (QTextList* list = item.block.textList())
            list->remove(item.block);
        QTextCursor cursor(item.block);
        QTextBlockFormat format = cursor.blockFormat();
        format.setIndent(0);
        cursor.setBlockFormat(format);
        cursor.insertText(item.marker, charFormatAt(document, item.block.position()));
    }
}

void setUpTextView(QTextEdit& view)
{
    view.setFrameShape(QFrame::NoFrame);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setLineWrapMode(QTextEdit::WidgetWidth);
    view.viewport()->setAutoFillBackground(false);
    view.setAttribute(Qt::WA_TranslucentBackground);
    view.setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    view.document()->setDocumentMargin(12);
    layOutInDesignPoints(*view.document());
    view.document()->setDefaultFont(defaultRichTextFont());
    view.setFont(defaultRichTextFont());
}

} // namespace

VeskRichTextEditView::VeskRichTextEditView(QWidget* parent) : QTextEdit(parent) {}

void VeskRichTextEditView::keyPressEvent(QKeyEvent* event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (isReturn && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier) && !isReadOnly()) {
        QTextCursor cursor = textCursor();
        const QString text = documentText(*document());
        const int start = cursor.selectionStart();
        const std::optional<ReturnEdit> edit =
            text.isEmpty() ? std::nullopt : checklistReturnEdit(text, start, cursor.selectionEnd() - start);
        if (edit) {
            cursor.beginEditBlock();
            cursor.setPosition(edit->start);
            cursor.setPosition(edit->start + edit->length, QTextCursor::KeepAnchor);
            cursor.insertText(edit->replacement);
            cursor.endEditBlock();
        } else {
            // A plain break, also for Shift+Return, so that every line is its own paragraph.
            cursor.insertBlock();
        }
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    const QString typed = event->text();
    const bool plainKey = !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plainKey && typed.size() == 1 && !isReadOnly()) {
        QTextCursor cursor = textCursor();
        const int start = cursor.selectionStart();
        const std::optional<SmartTyping> smart =
            smartTyping(documentText(*document()), start, cursor.selectionEnd() - start, typed[0]);
        if (smart) {
            const QTextCharFormat typing = currentCharFormat();
            cursor.beginEditBlock();
            cursor.setPosition(smart->start);
            cursor.setPosition(smart->start + smart->length, QTextCursor::KeepAnchor);
            cursor.insertText(smart->replacement, typing);
            cursor.endEditBlock();
            setTextCursor(cursor);
            ensureCursorVisible();
            event->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(event);
}

bool VeskRichTextEditView::canInsertFromMimeData(const QMimeData* source) const
{
    for (const QString& type : rtfMimeTypes()) {
        if (source->hasFormat(type))
            return true;
    }
    // Rich text holds no pictures.
    return source->hasText() || source->hasHtml();
}

void VeskRichTextEditView::insertFromMimeData(const QMimeData* source)
{
    // Other applications' rich text usually arrives as RTF, which Qt itself does not read.
    if (!source->hasHtml()) {
        for (const QString& type : rtfMimeTypes()) {
            if (!source->hasFormat(type))
                continue;
            if (std::unique_ptr<QTextDocument> pasted = documentFromRtf(source->data(type))) {
                textCursor().insertFragment(QTextDocumentFragment(pasted.get()));
                ensureCursorVisible();
                return;
            }
        }
    }
    if (source->hasHtml()) {
        auto pasted = makeRichTextDocument();
        pasted->setHtml(source->html());
        removePictures(*pasted);
        writeOutListMarkers(*pasted);
        textCursor().insertFragment(QTextDocumentFragment(pasted.get()));
        ensureCursorVisible();
        return;
    }
    if (source->hasText()) {
        textCursor().insertText(source->text());
        ensureCursorVisible();
    }
}

VeskRichTextEditor::VeskRichTextEditor(VeskRichTextController* controller, QWidget* parent)
    : QWidget(parent), m_controller(controller)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_textView = new VeskRichTextEditView(this);
    setUpTextView(*m_textView);
    m_textView->setReadOnly(false);
    m_textView->setAcceptRichText(true);
    m_textView->setUndoRedoEnabled(true);
    layout->addWidget(m_textView);

    QTextCharFormat typing;
    setRunFont(typing, RunFont{});
    m_textView->setCurrentCharFormat(typing);

    stripListContinuationMarkers(*m_textView);
    displayPass();

    if (m_controller)
        m_controller->setTextView(m_textView);
    connect(m_textView, &QTextEdit::textChanged, this, &VeskRichTextEditor::textDidChange);
    connect(m_textView, &QTextEdit::cursorPositionChanged, this, [this] {
        dropLinkAtCaret();
        scheduleRefresh();
    });
    connect(m_textView, &QTextEdit::selectionChanged, this, [this] {
        dropLinkAtCaret();
        scheduleRefresh();
    });

    // The keys the toolbar's help texts name.
    auto bindKey = [this](QKeySequence::StandardKey key, auto action) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (m_controller)
                action(*m_controller);
        });
    };
    bindKey(QKeySequence::Bold, [](VeskRichTextController& c) { c.toggleFontTrait(FontTrait::bold); });
    bindKey(QKeySequence::Italic, [](VeskRichTextController& c) { c.toggleFontTrait(FontTrait::italic); });
    bindKey(QKeySequence::Underline, [](VeskRichTextController& c) { c.toggleUnderline(); });

    // The editor takes the keyboard focus when it is first shown.
    QTimer::singleShot(0, this, [this] {
        m_textView->setFocus(Qt::OtherFocusReason);
        if (m_controller)
            m_controller->refreshState();
    });
}

void VeskRichTextEditor::setAttributedText(const QTextDocument& text)
{
    if (m_controller)
        m_controller->setTextView(m_textView);
    QTextDocument& document = *m_textView->document();
    if (!sameRichText(document, text)) {
        const int start = m_textView->textCursor().selectionStart();
        m_inDisplayPass = true;
        // The text handed in is where editing starts: Undo never takes the editor back to
        // before it (an empty note, on opening).
        const bool undoable = document.isUndoRedoEnabled();
        document.setUndoRedoEnabled(false);
        fillDocument(document, contentFromDocument(text));
        document.setDefaultFont(defaultRichTextFont());
        stripListContinuationMarkers(*m_textView);
        runDisplayPass(document, m_textView->palette().color(QPalette::Link));
        QTextCursor cursor(&document);
        cursor.setPosition(std::min(start, documentLength(document)));
        m_textView->setTextCursor(cursor);
        document.setUndoRedoEnabled(undoable);
        m_inDisplayPass = false;
    }
    scheduleRefresh();
}

std::unique_ptr<QTextDocument> VeskRichTextEditor::attributedText() const
{
    return std::unique_ptr<QTextDocument>(m_textView->document()->clone());
}

QString VeskRichTextEditor::plainText() const
{
    return documentText(*m_textView->document());
}

void VeskRichTextEditor::displayPass()
{
    m_inDisplayPass = true;
    QTextCursor join(m_textView->document());
    // The pass's format changes belong to the edit that caused them: one undo step for both.
    join.joinPreviousEditBlock();
    stripListContinuationMarkers(*m_textView);
    runDisplayPass(*m_textView->document(), m_textView->palette().color(QPalette::Link), DisplayPassMode::Editing);
    join.endEditBlock();
    m_inDisplayPass = false;
}

void VeskRichTextEditor::textDidChange()
{
    // The display pass changes formats, which reports a change again: that one is ours.
    if (m_inDisplayPass)
        return;
    displayPass();
    QTextCharFormat typing = m_textView->currentCharFormat();
    if (!m_textView->textCursor().hasSelection() && typing.hasProperty(QTextFormat::ForegroundBrush)
        && !hasLink(typing)) {
        typing.clearForeground();
        m_textView->setCurrentCharFormat(typing);
    }
    dropLinkAtCaret();
    emit attributedTextChanged();
    scheduleRefresh();
}

void VeskRichTextEditor::dropLinkAtCaret()
{
    // Typing right after a link does not lengthen it; typing inside one does.
    const QTextCursor cursor = m_textView->textCursor();
    if (cursor.hasSelection())
        return;
    QTextCharFormat typing = m_textView->currentCharFormat();
    if (!hasLink(typing))
        return;
    const int position = cursor.position();
    const QTextDocument& document = *m_textView->document();
    const bool insideLink = position < documentLength(document) && document.characterAt(position) != QChar::ParagraphSeparator
        && charFormatAt(document, position).anchorHref() == typing.anchorHref();
    if (insideLink)
        return;
    if (isChecklistToggleLink(typing.anchorHref())) {
        // Right after a glyph, or on the line a glyph's Return began: what comes is body text.
        clearGlyphStyle(typing);
        typing.clearProperty(kDetectedLinkProperty);
        typing.clearForeground();
        m_textView->setCurrentCharFormat(typing);
        return;
    }
    typing.clearProperty(QTextFormat::IsAnchor);
    typing.clearProperty(QTextFormat::AnchorHref);
    typing.clearProperty(kDetectedLinkProperty);
    typing.clearForeground();
    m_textView->setCurrentCharFormat(typing);
}

void VeskRichTextEditor::scheduleRefresh()
{
    if (!m_controller)
        return;
    QTimer::singleShot(0, m_controller.data(), [controller = m_controller] {
        if (controller)
            controller->refreshState();
    });
}

} // namespace vesk
