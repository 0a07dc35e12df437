#pragma once
// Shared vocabulary of Vesk rich text over QTextDocument: the fixed fonts, how a character format
// is read when it carries no font, character-format runs, and paragraph ranges in the plain-text
// index space (one index per UTF-16 unit, one per line break), which is also QTextCursor's.

#include <QFont>
#include <QString>
#include <QTextCharFormat>
#include <functional>

class QTextDocument;

namespace vesk {

inline constexpr qreal kRichTextDefaultPointSize = 15.0;
inline constexpr qreal kRichTextHeadingPointSize = 22.0;

QString richTextSystemFamily();
// The system font at 15 pt, regular: what a run without a font is taken to be.
QFont defaultRichTextFont();

// Lays the document out so that one point of its text is one logical pixel, as every other text of
// the app is drawn (Theme::font); the sizes themselves stay in points, as stored.
void layOutInDesignPoints(QTextDocument& document);

// A character format's font as the commands see it, with the default filled in.
struct RunFont {
    QString family;  // empty: the system font
    qreal pointSize = kRichTextDefaultPointSize;
    int weight = QFont::Normal;
    bool italic = false;

    // Semibold (headings, glyphs) is its own weight, not the bold trait, so Heading stays put when
    // applied twice and Bold still has something to add.
    bool isBold() const { return weight >= QFont::Bold; }
};

RunFont runFont(const QTextCharFormat& format);
// Writes the font into the format; an empty family removes any family so the system font applies.
void setRunFont(QTextCharFormat& format, const RunFont& font);
// The system font of a size, bold or regular, italic or not: what size changes produce.
RunFont systemRunFont(qreal pointSize, int weight, bool italic);

bool isUnderlined(const QTextCharFormat& format);
bool hasLink(const QTextCharFormat& format);

// Plain text of the document with '\n' at every block boundary, index-aligned with positions.
QString documentText(const QTextDocument& document);
// The note's text as it is kept: like documentText, but a no-break space stays U+00A0 (documentText
// shows it as a plain space for the patterns that read it).
QString documentPlainText(const QTextDocument& document);
int documentLength(const QTextDocument& document);

// The format of the character at an index (the block's separator format for a line break).
QTextCharFormat charFormatAt(const QTextDocument& document, int index);

struct CharRun {
    int start = 0;
    int end = 0;
    QTextCharFormat format;
};
// The runs of uniform character format that intersect [start, end), clipped to it; line breaks are
// not part of any run.
QList<CharRun> charRuns(const QTextDocument& document, int start, int end);
// Rewrites every run in [start, end) through `change`.
void transformRuns(QTextDocument& document, int start, int end,
                   const std::function<void(QTextCharFormat&)>& change);

struct TextRange {
    int location = 0;
    int length = 0;
    int end() const { return location + length; }
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// The whole lines (each with its line break) that hold [location, location + length).
TextRange paragraphRange(const QString& text, int location, int length);
// The lines a selection touches; a caret at the very end counts as being on the last line.
TextRange selectedParagraphRange(const QString& text, int selectionStart, int selectionLength);
// The line (with its break) holding the selection start, clamped to the last character.
QString currentParagraphText(const QString& text, int selectionStart);

} // namespace vesk
