#include "richtext/RichTextFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace vesk {

QString richTextSystemFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont defaultRichTextFont()
{
    QFont font(richTextSystemFamily());
    font.setPointSizeF(kRichTextDefaultPointSize);
    font.setWeight(QFont::Normal);
    return font;
}

void layOutInDesignPoints(QTextDocument& document)
{
    // A device of 72 dots per inch: QFont points resolve to the same number of pixels there.
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    document.documentLayout()->setPaintDevice(&device);
}

RunFont runFont(const QTextCharFormat& format)
{
    RunFont font;
    const QStringList families = format.fontFamilies().toStringList();
    if (!families.isEmpty() && families.first() != richTextSystemFamily())
        font.family = families.first();
    if (format.fontPointSize() > 0)
        font.pointSize = format.fontPointSize();
    font.weight = format.fontWeight();
    font.italic = format.fontItalic();
    return font;
}

void setRunFont(QTextCharFormat& format, const RunFont& font)
{
    if (font.family.isEmpty())
        format.clearProperty(QTextFormat::FontFamilies);
    else
        format.setFontFamilies(QStringList{font.family});
    format.setFontPointSize(font.pointSize);
    format.setFontWeight(font.weight);
    if (font.italic)
        format.setFontItalic(true);
    else
        format.clearProperty(QTextFormat::FontItalic);
}

RunFont systemRunFont(qreal pointSize, int weight, bool italic)
{
    RunFont font;
    font.pointSize = pointSize;
    font.weight = weight;
    font.italic = italic;
    return font;
}

bool isUnderlined(const QTextCharFormat& format)
{
    return format.hasProperty(QTextFormat::TextUnderlineStyle)
        ? format.underlineStyle() != QTextCharFormat::NoUnderline
        : format.fontUnderline();
}

bool hasLink(const QTextCharFormat& format)
{
    return format.isAnchor() && !format.anchorHref().isEmpty();
}

QString documentText(const QTextDocument& document)
{
    return document.toPlainText();
}

QString documentPlainText(const QTextDocument& document)
{
    // What toPlainText does, less turning no-break spaces into spaces: frame marks (tables) and
    // paragraph and line separators become line breaks.
    QString text = document.toRawText();
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == 0xFDD0 || u == 0xFDD1 || u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return text;
}

int documentLength(const QTextDocument& document)
{
    return std::max(0, document.characterCount() - 1);
}

QTextCharFormat charFormatAt(const QTextDocument& document, int index)
{
    const QTextBlock block = document.findBlock(std::max(0, index));
    if (!block.isValid())
        return {};
    if (index >= block.position() + block.length() - 1)
        return block.charFormat();  // the line break
    // A cursor finds the fragment in logarithmic time, where walking a long paragraph's fragments
    // would take as many steps as it has runs.
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    cursor.setPosition(index + 1);
    return cursor.charFormat();
}

QList<CharRun> charRuns(const QTextDocument& document, int start, int end)
{
    QList<CharRun> runs;
    if (end <= start)
        return runs;
    for (QTextBlock block = document.findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            if (fragment.position() >= end)
                break;
            const int a = std::max(start, fragment.position());
            const int b = std::min(end, fragment.position() + fragment.length());
            if (a < b)
                runs.append(CharRun{a, b, fragment.charFormat()});
        }
    }
    return runs;
}

void transformRuns(QTextDocument& document, int start, int end,
                   const std::function<void(QTextCharFormat&)>& change)
{
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const CharRun& run : charRuns(document, start, end)) {
        QTextCharFormat format = run.format;
        change(format);
        if (format == run.format)
            continue;
        cursor.setPosition(run.start);
        cursor.setPosition(run.end, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
    cursor.endEditBlock();
}

TextRange paragraphRange(const QString& text, int location, int length)
{
    const int n = int(text.size());
    location = std::clamp(location, 0, n);
    length = std::clamp(length, 0, n - location);
    const int start = location == 0 ? 0 : int(text.lastIndexOf(QLatin1Char('\n'), location - 1)) + 1;
    const int last = length > 0 ? location + length - 1 : location;
    int end = last >= n ? -1 : int(text.indexOf(QLatin1Char('\n'), last));
    end = end < 0 ? n : end + 1;
    return {start, std::max(0, end - start)};
}

TextRange selectedParagraphRange(const QString& text, int selectionStart, int selectionLength)
{
    const int n = int(text.size());
    if (n == 0)
        return {0, 0};
    const int location = selectionLength == 0 ? std::min(selectionStart, n - 1) : selectionStart;
    return paragraphRange(text, location, selectionLength);
}

QString currentParagraphText(const QString& text, int selectionStart)
{
    const int n = int(text.size());
    if (n == 0)
        return {};
    const TextRange range = paragraphRange(text, std::clamp(selectionStart, 0, n - 1), 0);
    return text.mid(range.location, range.length);
}

} // namespace vesk
