#include "richtext/RichTextLists.h"

#include "richtext/FormatRuns.h"
#include "richtext/RichTextFormat.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <algorithm>

namespace vesk {

namespace {

const QRegularExpression& anyMarkerPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(?:\u2022|-|\\d+\\.|[\u2610\u2611\u25CB\u25CF])\\s+"));
    return pattern;
}

const QRegularExpression& checkboxLinePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*[\u2610\u2611]\\s*"));
    return pattern;
}

const QRegularExpression& radioLinePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*[\u25CB\u25CF]\\s*"));
    return pattern;
}

const QRegularExpression& glyphPattern()
{
    // Horizontal white space only: a glyph after blank lines is still found from its own line
    // start, and a match never rescans the blank lines before it (quadratic on long runs of them).
    static const QRegularExpression pattern(QStringLiteral("(?m)^(\\h*)([\u2610\u2611\u25CB\u25CF])(?=\\s|$)"));
    return pattern;
}

const QRegularExpression& foreignListMarkerPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^[\\t ]*[\u2022\u25E6\u25AA\u2023]\\s+"));
    return pattern;
}

bool isBlankLine(const QString& line)
{
    for (QChar c : line) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            return false;
    }
    return true;
}

} // namespace

const QUrl& checklistToggleURL()
{
    static const QUrl url(QStringLiteral("vesk-check://toggle"));
    return url;
}

bool isChecklistToggleLink(const QString& href)
{
    // The scheme, as a URL parser reads it: case does not matter. Cheaper than parsing, and asked
    // of every link on every pass.
    return href.startsWith(QLatin1String(kChecklistScheme), Qt::CaseInsensitive)
        && href.size() > qsizetype(qstrlen(kChecklistScheme)) && href[qstrlen(kChecklistScheme)] == QLatin1Char(':');
}

ListLineFlags listLineFlags(const QString& paragraphText)
{
    static const QRegularExpression numbered(QStringLiteral("^\\d+\\.\\s"));
    static const QRegularExpression checklist(QStringLiteral("^[\u2610\u2611]\\s"));
    static const QRegularExpression radio(QStringLiteral("^[\u25CB\u25CF]\\s"));
    const QString text = paragraphText.trimmed();
    ListLineFlags flags;
    flags.bulleted = text.startsWith(QStringLiteral("\u2022 "));
    flags.numbered = numbered.match(text).hasMatch();
    flags.checklist = checklist.match(text).hasMatch();
    flags.radio = radio.match(text).hasMatch();
    return flags;
}

QList<ListMarkerEdit> listMarkerEdits(const QString& rangeText, RichTextListKind kind)
{
    const QStringList lines = rangeText.split(QLatin1Char('\n'));
    bool allChecklist = kind == RichTextListKind::checklist;
    bool allRadio = kind == RichTextListKind::radio;
    for (const QString& line : lines) {
        if (isBlankLine(line))
            continue;
        if (allChecklist && !checkboxLinePattern().match(line).hasMatch())
            allChecklist = false;
        if (allRadio && !radioLinePattern().match(line).hasMatch())
            allRadio = false;
    }

    QList<ListMarkerEdit> edits;
    int number = 1;
    int offset = 0;
    for (const QString& line : lines) {
        const int lineStart = offset;
        offset += int(line.size()) + 1;
        if (line.isEmpty())
            continue;
        const QRegularExpressionMatch marker = anyMarkerPattern().match(line);
        ListMarkerEdit edit{lineStart, marker.hasMatch() ? int(marker.capturedLength()) : 0, {}};
        switch (kind) {
        case RichTextListKind::bulleted: edit.insert = QStringLiteral("\u2022 "); break;
        case RichTextListKind::numbered: edit.insert = QString::number(number) + QStringLiteral(". "); break;
        case RichTextListKind::checklist: edit.insert = allChecklist ? QString() : QStringLiteral("\u2610 "); break;
        case RichTextListKind::radio: edit.insert = allRadio ? QString() : QStringLiteral("\u25CB "); break;
        }
        ++number;
        if (QStringView(line).first(edit.removeLength) != edit.insert)
            edits.append(edit);
    }
    return edits;
}

QString rewriteListLines(const QString& rangeText, RichTextListKind kind)
{
    QString text = rangeText;
    const QList<ListMarkerEdit> edits = listMarkerEdits(rangeText, kind);
    for (auto it = edits.crbegin(); it != edits.crend(); ++it)
        text.replace(it->offset, it->removeLength, it->insert);
    return text;
}

namespace {

// Only a glyph is given the toggle link, so any other character carrying it took the glyph's whole
// format from being typed or pasted after one: it goes back to the body text's. `glyphs` (sorted)
// keep theirs, and are styled afresh after this.
template <typename Format>
void stripChecklistLinks(FormatRuns<Format>& runs, const QList<TextRange>& glyphs)
{
    QList<TextRange> others;
    qsizetype next = 0;
    for (const auto& run : runs.runs()) {
        if (!formatHasLink(run.format) || !isChecklistToggleLink(formatHref(run.format)))
            continue;
        int position = run.start;
        while (next < glyphs.size() && glyphs[next].end() <= position)
            ++next;
        for (qsizetype g = next; g < glyphs.size() && glyphs[g].location < run.end; ++g) {
            if (glyphs[g].location > position)
                others.append(TextRange{position, glyphs[g].location - position});
            position = std::max(position, int(glyphs[g].end()));
        }
        if (position < run.end)
            others.append(TextRange{position, run.end - position});
    }
    runs.transformRanges(others, [](Format& format, qsizetype) { clearGlyphStyle(format); });
}

} // namespace

template <typename Format>
void styleChecklistGlyphs(FormatRuns<Format>& runs, const QString& text)
{
    const QRegularExpression& pattern = glyphPattern();
    if (!pattern.isValid())
        return;
    const int n = int(text.size());
    QList<TextRange> glyphs;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        glyphs.append(TextRange{int(match.capturedStart(2)), int(match.capturedLength(2))});
    }
    stripChecklistLinks(runs, glyphs);
    QList<qreal> sizes;
    for (const TextRange& range : std::as_const(glyphs)) {
        const int glyph = range.location;
        const int glyphEnd = int(range.end());

        // Sized from the first character of the item's words (after the glyph and one space),
        // else from the glyph's own size.
        qreal base = kRichTextDefaultPointSize;
        const Format* after = glyphEnd + 1 < n ? runs.at(glyphEnd + 1) : nullptr;
        const Format* own = runs.at(glyph);
        if (after && formatPointSize(*after) > 0)
            base = formatPointSize(*after);
        else if (own && formatPointSize(*own) > 0)
            base = std::max(formatPointSize(*own) - 3, 12.0);
        sizes.append(std::min(std::max(base + 3, 15.0), 40.0));
    }
    const QString toggle = checklistToggleURL().toString();
    runs.transformRanges(glyphs, [&sizes, &toggle](Format& format, qsizetype i) { setGlyphStyle(format, sizes[i], toggle); });
}

template void styleChecklistGlyphs<QTextCharFormat>(FormatRuns<QTextCharFormat>&, const QString&);
template void styleChecklistGlyphs<RtfRunStyle>(FormatRuns<RtfRunStyle>&, const QString&);

void styleChecklistGlyphs(QTextDocument& document)
{
    FormatRuns<QTextCharFormat> runs = documentFormatRuns(document);
    styleChecklistGlyphs(runs, documentText(document));
    applyFormatRuns(document, runs);
}

std::optional<QChar> toggledGlyph(QChar glyph)
{
    switch (glyph.unicode()) {
    case kCheckboxOpen: return QChar(kCheckboxDone);
    case kCheckboxDone: return QChar(kCheckboxOpen);
    case kRadioOff: return QChar(kRadioOn);
    case kRadioOn: return QChar(kRadioOff);
    default: return std::nullopt;
    }
}

bool toggleGlyphAt(QTextDocument& document, int index)
{
    if (index < 0 || index >= documentLength(document))
        return false;
    const std::optional<QChar> replacement = toggledGlyph(document.characterAt(index));
    if (!replacement)
        return false;
    const QTextCharFormat format = charFormatAt(document, index);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.setPosition(index);
    cursor.setPosition(index + 1, QTextCursor::KeepAnchor);
    cursor.insertText(QString(*replacement), format);
    cursor.endEditBlock();
    styleChecklistGlyphs(document);
    return true;
}

std::optional<ReturnEdit> checklistReturnEdit(const QString& text, int start, int length)
{
    static const QRegularExpression checkboxLine(QStringLiteral("^\\s*[\u2610\u2611]\\s+"));
    static const QRegularExpression radioLine(QStringLiteral("^\\s*[\u25CB\u25CF]\\s+"));
    static const QRegularExpression leadingMarker(QStringLiteral("^\\s*[\u2610\u2611\u25CB\u25CF]\\s*"));
    const int n = int(text.size());
    if (n == 0 || start < 0 || start > n)
        return std::nullopt;
    // At a line start the character before the caret is the previous line's break; continuing
    // that line's list here would double its glyph or turn this line into an item.
    if (start == 0 || text[start - 1] == QLatin1Char('\n'))
        return std::nullopt;

    const int probe = std::clamp(start - 1, 0, n - 1);
    const TextRange paragraph = paragraphRange(text, probe, 0);
    QString line = text.mid(paragraph.location, paragraph.length);
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    const bool radio = radioLine.match(line).hasMatch();
    if (!radio && !checkboxLine.match(line).hasMatch())
        return std::nullopt;

    QString rest = line;
    rest.remove(0, leadingMarker.match(rest).capturedLength());
    if (!rest.trimmed().isEmpty())
        return ReturnEdit{start, length, radio ? QStringLiteral("\n\u25CB ") : QStringLiteral("\n\u2610 ")};
    // An empty item ends the list: the line, break included, becomes one plain break.
    return ReturnEdit{paragraph.location, paragraph.length, QStringLiteral("\n")};
}

void stripListContinuationMarkers(QTextEdit& textView)
{
    QTextDocument* document = textView.document();
    if (!document || documentLength(*document) == 0)
        return;
    QList<TextRange> removals;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (!block.textList())
            continue;
        const QRegularExpressionMatch match = foreignListMarkerPattern().match(block.text());
        if (match.hasMatch() && match.capturedLength() > 0)
            removals.append(TextRange{block.position() + int(match.capturedStart()), int(match.capturedLength())});
    }
    if (removals.isEmpty())
        return;

    const QTextCursor before = textView.textCursor();
    const int s0 = before.selectionStart();
    const int s0Length = before.selectionEnd() - s0;
    QTextCursor edit(document);
    edit.beginEditBlock();
    for (auto it = removals.crbegin(); it != removals.crend(); ++it) {
        edit.setPosition(it->location);
        edit.setPosition(it->end(), QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    edit.endEditBlock();

    int location = s0;
    int length = s0Length;
    for (const TextRange& removed : removals) {
        if (removed.location < s0)
            location -= std::min(removed.length, s0 - removed.location);
        if (s0Length > 0) {
            const int overlap = std::min(removed.end(), s0 + s0Length) - std::max(removed.location, s0);
            if (overlap > 0)
                length -= overlap;
        }
    }
    const int newLength = documentLength(*document);
    location = std::clamp(location, 0, newLength);
    length = std::clamp(length, 0, newLength - location);
    QTextCursor selection(document);
    selection.setPosition(location);
    selection.setPosition(location + length, QTextCursor::KeepAnchor);
    textView.setTextCursor(selection);
}

} // namespace vesk
