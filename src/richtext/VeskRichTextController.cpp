#include "richtext/VeskRichTextController.h"

#include "richtext/AddLinkDialog.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"

#include <QApplication>
#include <QClipboard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <cmath>

namespace vesk {

namespace {

// Groups a command's changes into one undo step and one change notification.
class EditBlock {
public:
    explicit EditBlock(QTextDocument* document) : m_cursor(document) { m_cursor.beginEditBlock(); }
    ~EditBlock() { m_cursor.endEditBlock(); }

private:
    QTextCursor m_cursor;
};

template <typename T>
void publish(VeskRichTextController* owner, T& member, T value, void (VeskRichTextController::*signal)(T), bool& any)
{
    if (member == value)
        return;
    member = value;
    any = true;
    emit(owner->*signal)(value);
}

Qt::Alignment horizontalAlignment(Qt::Alignment alignment)
{
    return alignment & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
}

QColor linkColorOf(const QTextEdit& view)
{
    return view.palette().color(QPalette::Link);
}

// The look of a list marker put at `start` in place of `removed` characters: that of the first
// word character after them, else of the old marker, never a link or a glyph's styling.
QTextCharFormat markerFormat(const QTextDocument& document, const QString& text, int start, int removed)
{
    const int after = start + removed;
    QTextCharFormat format;
    if (after < text.size() && text[after] != QLatin1Char('\n'))
        format = charFormatAt(document, after);
    else if (removed > 0)
        format = charFormatAt(document, start);
    else
        return format;
    if (hasLink(format) && isChecklistToggleLink(format.anchorHref())) {
        QTextCharFormat plain;
        setRunFont(plain, RunFont{});
        return plain;
    }
    format.clearProperty(QTextFormat::IsAnchor);
    format.clearProperty(QTextFormat::AnchorHref);
    format.clearProperty(kDetectedLinkProperty);
    format.clearForeground();
    return format;
}

} // namespace

VeskRichTextController::VeskRichTextController(QObject* parent) : QObject(parent) {}

void VeskRichTextController::beep()
{
    if (m_beep)
        m_beep();
    else
        QApplication::beep();
}

VeskRichTextController::Selection VeskRichTextController::selection() const
{
    const QTextCursor cursor = m_textView->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void VeskRichTextController::refreshState()
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    const QTextDocument& document = *view->document();
    const Selection sel = selection();
    const int length = documentLength(document);
    const QString text = documentText(document);

    const bool useTyping = sel.length == 0 || length == 0;
    const QTextCharFormat attributes =
        useTyping ? view->currentCharFormat() : charFormatAt(document, std::min(sel.start, length - 1));
    const RunFont font = runFont(attributes);
    const bool underlined = isUnderlined(attributes);
    const bool linked = attributes.isAnchor() || !attributes.anchorHref().isEmpty();

    const QTextBlockFormat blockFormat = useTyping
        ? view->textCursor().blockFormat()
        : document.findBlock(std::min(sel.start, length - 1)).blockFormat();
    const Qt::Alignment alignment = horizontalAlignment(blockFormat.hasProperty(QTextFormat::BlockAlignment)
                                                            ? blockFormat.alignment()
                                                            : document.defaultTextOption().alignment());
    const ListLineFlags list = listLineFlags(currentParagraphText(text, sel.start));

    bool any = false;
    publish(this, m_isBold, font.isBold(), &VeskRichTextController::isBoldChanged, any);
    publish(this, m_isItalic, font.italic, &VeskRichTextController::isItalicChanged, any);
    publish(this, m_isUnderline, underlined, &VeskRichTextController::isUnderlineChanged, any);
    if (std::abs(font.pointSize - m_currentPointSize) > 0.01)
        publish(this, m_currentPointSize, font.pointSize, &VeskRichTextController::currentPointSizeChanged, any);
    publish(this, m_isHeading, std::abs(font.pointSize - kRichTextHeadingPointSize) < 0.6,
            &VeskRichTextController::isHeadingChanged, any);
    publish(this, m_isBody, std::abs(font.pointSize - kRichTextDefaultPointSize) < 0.6,
            &VeskRichTextController::isBodyChanged, any);
    publish(this, m_isLink, linked, &VeskRichTextController::isLinkChanged, any);
    publish(this, m_isLeftAligned, alignment == Qt::AlignLeft || alignment == Qt::Alignment(),
            &VeskRichTextController::isLeftAlignedChanged, any);
    publish(this, m_isCenterAligned, alignment == Qt::AlignHCenter, &VeskRichTextController::isCenterAlignedChanged, any);
    publish(this, m_isRightAligned, alignment == Qt::AlignRight, &VeskRichTextController::isRightAlignedChanged, any);
    publish(this, m_isBulletedList, list.bulleted, &VeskRichTextController::isBulletedListChanged, any);
    publish(this, m_isNumberedList, list.numbered, &VeskRichTextController::isNumberedListChanged, any);
    publish(this, m_isChecklist, list.checklist, &VeskRichTextController::isChecklistChanged, any);
    publish(this, m_isRadioList, list.radio, &VeskRichTextController::isRadioListChanged, any);
    if (any)
        emit stateChanged();
}

void VeskRichTextController::toggleFontTrait(FontTrait trait)
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    auto has = [trait](const RunFont& font) { return trait == FontTrait::bold ? font.isBold() : font.italic; };
    auto convert = [trait](QTextCharFormat& format, bool on) {
        RunFont font = runFont(format);
        if (trait == FontTrait::bold)
            font.weight = on ? QFont::Bold : QFont::Normal;
        else
            font.italic = on;
        setRunFont(format, font);
    };

    const Selection sel = selection();
    if (sel.length > 0) {
        QTextDocument& document = *view->document();
        bool allHave = true;
        for (const CharRun& run : charRuns(document, sel.start, sel.start + sel.length)) {
            if (!has(runFont(run.format))) {
                allHave = false;
                break;
            }
        }
        {
            EditBlock block(&document);
            transformRuns(document, sel.start, sel.start + sel.length,
                          [&](QTextCharFormat& format) { convert(format, !allHave); });
        }
    } else {
        QTextCharFormat typing = view->currentCharFormat();
        convert(typing, !has(runFont(typing)));
        view->setCurrentCharFormat(typing);
    }
    refreshState();
}

void VeskRichTextController::toggleUnderline()
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    QTextDocument& document = *view->document();
    auto setUnderline = [](QTextCharFormat& format, bool on) {
        format.clearProperty(QTextFormat::TextUnderlineColor);
        if (on) {
            format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        } else {
            format.clearProperty(QTextFormat::TextUnderlineStyle);
            format.clearProperty(QTextFormat::FontUnderline);
        }
    };

    const Selection sel = selection();
    EditBlock block(&document);
    if (sel.length > 0) {
        bool underlined = false;
        for (const CharRun& run : charRuns(document, sel.start, sel.start + sel.length)) {
            if (isUnderlined(run.format)) {
                underlined = true;
                break;
            }
        }
        transformRuns(document, sel.start, sel.start + sel.length,
                      [&](QTextCharFormat& format) { setUnderline(format, !underlined); });
    } else {
        QTextCharFormat typing = view->currentCharFormat();
        setUnderline(typing, !isUnderlined(typing));
        view->setCurrentCharFormat(typing);
    }
    if (documentLength(document) > 0)
        normalizeTextColors(document, linkColorOf(*view));
    refreshState();
}

void VeskRichTextController::setPointSize(qreal points)
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    auto resize = [points](QTextCharFormat& format) {
        const RunFont font = runFont(format);
        setRunFont(format, systemRunFont(points, font.isBold() ? QFont::Bold : QFont::Normal, font.italic));
    };
    const Selection sel = selection();
    if (sel.length > 0) {
        QTextDocument& document = *view->document();
        EditBlock block(&document);
        transformRuns(document, sel.start, sel.start + sel.length, resize);
        styleChecklistGlyphs(document);
    } else {
        QTextCharFormat typing = view->currentCharFormat();
        resize(typing);
        view->setCurrentCharFormat(typing);
    }
    refreshState();
}

void VeskRichTextController::restyleSelectedParagraphs(const std::function<void(QTextCharFormat&)>& restyle)
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    QTextDocument& document = *view->document();
    const Selection sel = selection();
    const TextRange range = selectedParagraphRange(documentText(document), sel.start, sel.length);
    {
        EditBlock block(&document);
        transformRuns(document, range.location, range.end(), restyle);
        styleChecklistGlyphs(document);
    }
    refreshState();
}

void VeskRichTextController::applyHeading()
{
    restyleSelectedParagraphs([](QTextCharFormat& format) {
        const RunFont own = runFont(format);
        setRunFont(format, systemRunFont(kRichTextHeadingPointSize, own.isBold() ? QFont::Bold : QFont::DemiBold,
                                         own.italic));
    });
}

void VeskRichTextController::applyBody()
{
    restyleSelectedParagraphs([](QTextCharFormat& format) { setRunFont(format, RunFont{}); });
}

void VeskRichTextController::setAlignment(RichTextAlignment alignment)
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    QTextDocument& document = *view->document();
    const Selection sel = selection();
    const TextRange range = selectedParagraphRange(documentText(document), sel.start, sel.length);
    const Qt::Alignment wanted = alignment == RichTextAlignment::left     ? Qt::AlignLeft
                                 : alignment == RichTextAlignment::center ? Qt::AlignHCenter
                                                                          : Qt::AlignRight;
    {
        EditBlock block(&document);
        for (QTextBlock paragraph = document.findBlock(range.location);
             paragraph.isValid() && paragraph.position() < range.end(); paragraph = paragraph.next()) {
            QTextBlockFormat format = paragraph.blockFormat();
            if (format.hasProperty(QTextFormat::BlockAlignment) && format.alignment() == wanted)
                continue;
            format.setAlignment(wanted);
            QTextCursor cursor(paragraph);
            cursor.setBlockFormat(format);
        }
    }
    refreshState();
}

void VeskRichTextController::applyList(RichTextListKind kind)
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    QTextDocument& document = *view->document();
    const QString text = documentText(document);
    const Selection sel = selection();
    const TextRange range = selectedParagraphRange(text, sel.start, sel.length);
    const QList<ListMarkerEdit> edits = listMarkerEdits(text.mid(range.location, range.length), kind);
    {
        EditBlock block(&document);
        if (!edits.isEmpty()) {
            // Only the markers change, from the last line up so earlier offsets stay true; the
            // words keep their runs, and a new marker takes the look of the words it leads.
            QTextCursor cursor(&document);
            int growth = 0;
            for (auto it = edits.crbegin(); it != edits.crend(); ++it) {
                const int start = range.location + it->offset;
                const QTextCharFormat format = markerFormat(document, text, start, it->removeLength);
                cursor.setPosition(start);
                cursor.setPosition(start + it->removeLength, QTextCursor::KeepAnchor);
                if (it->insert.isEmpty())
                    cursor.removeSelectedText();
                else
                    cursor.insertText(it->insert, format);
                growth += int(it->insert.size()) - it->removeLength;
            }
            QTextCursor caret(&document);
            caret.setPosition(std::clamp(range.end() + growth, 0, documentLength(document)));
            view->setTextCursor(caret);
        }
        styleChecklistGlyphs(document);
    }
    refreshState();
}

void VeskRichTextController::addLinkToSelection()
{
    QTextEdit* view = m_textView.data();
    if (!view)
        return;
    const Selection sel = selection();
    if (sel.length < 1) {
        beep();
        return;
    }
    const QString prefill = addLinkPrefill(QApplication::clipboard()->text());
    const std::optional<QString> typed =
        m_linkPrompt ? m_linkPrompt(view, prefill) : runAddLinkDialog(view->window(), prefill);
    if (!typed || !m_textView)
        return;
    const std::optional<QUrl> url = addLinkURL(*typed);
    if (!url) {
        beep();
        return;
    }
    QTextDocument& document = *view->document();
    const QString href = url->toString(QUrl::FullyEncoded);
    const QColor linkColor = linkColorOf(*view);
    {
        EditBlock block(&document);
        transformRuns(document, sel.start, sel.start + sel.length, [&](QTextCharFormat& format) {
            format.setAnchor(true);
            format.setAnchorHref(href);
            format.clearProperty(kDetectedLinkProperty);
            format.setForeground(linkColor);
        });
    }
    refreshState();
}

} // namespace vesk
