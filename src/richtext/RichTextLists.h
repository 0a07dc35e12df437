#pragma once
// Lists in Vesk rich text are plain characters at line starts: "• ", "1. ", ☐/☑ and ○/●. Nothing
// but the characters says a line is a list line. This file holds the markers, the rewriting behind
// the four list buttons, the clickable glyph styling, the glyph toggle and the Return rule.

#include <QString>
#include <QUrl>
#include <optional>

class QTextDocument;
class QTextEdit;

namespace vesk {

template <typename Format>
class FormatRuns;

enum class RichTextListKind { bulleted, numbered, checklist, radio };

inline constexpr char16_t kBulletMarker = u'\u2022';
inline constexpr char16_t kCheckboxOpen = u'\u2610';
inline constexpr char16_t kCheckboxDone = u'\u2611';
inline constexpr char16_t kRadioOff = u'\u25CB';
inline constexpr char16_t kRadioOn = u'\u25CF';

// "vesk-check://toggle": the link every clickable glyph carries.
const QUrl& checklistToggleURL();
inline constexpr const char* kChecklistScheme = "vesk-check";
bool isChecklistToggleLink(const QString& href);

// Which kind of list line a paragraph's text is (leading and trailing white space ignored).
struct ListLineFlags {
    bool bulleted = false;
    bool numbered = false;
    bool checklist = false;
    bool radio = false;
};
ListLineFlags listLineFlags(const QString& paragraphText);

// One press of a list button changes only the markers at line starts: per line, the old marker
// (with the white space around it) that goes and the marker that comes, so the words keep their
// formatting. Offsets are within `rangeText`, in order.
struct ListMarkerEdit {
    int offset = 0;        // the line's start
    int removeLength = 0;  // the old marker and its white space
    QString insert;        // the new marker, empty when the list goes
    friend bool operator==(const ListMarkerEdit&, const ListMarkerEdit&) = default;
};
QList<ListMarkerEdit> listMarkerEdits(const QString& rangeText, RichTextListKind kind);
// The lines of `rangeText` (split at line feeds) as they read after those edits.
QString rewriteListLines(const QString& rangeText, RichTextListKind kind);

// Gives every checkbox and radio glyph at a line start its toggle link, semibold font sized from the
// text after it, no underline and a 1 pt drop; first removes toggle links from everything else.
// Changes formats only, never characters.
void styleChecklistGlyphs(QTextDocument& document);
// The same over runs of either kind of text, `text` being their plain text as documentText gives it.
template <typename Format>
void styleChecklistGlyphs(FormatRuns<Format>& runs, const QString& text);

// The glyph a click turns the character into; none for a character that is not a glyph.
std::optional<QChar> toggledGlyph(QChar glyph);
// Swaps the glyph at `index` in place (keeping its format) and restyles the glyphs; false when the
// character there is not a glyph.
bool toggleGlyphAt(QTextDocument& document, int index);

// What Return does in a checkbox or radio line. `text` is the whole plain text, the change replaces
// [start, start + length). None: let the plain line break through.
struct ReturnEdit {
    int start = 0;
    int length = 0;
    QString replacement;
    friend bool operator==(const ReturnEdit&, const ReturnEdit&) = default;
};
std::optional<ReturnEdit> checklistReturnEdit(const QString& text, int start, int length);

// Removes bullets that a foreign text list left as characters at the start of its paragraphs, so
// that only Vesk's own markers remain; the text edit's selection follows the text.
void stripListContinuationMarkers(QTextEdit& textView);

} // namespace vesk
