#pragma once
// A working copy of a text's character formats: runs over the plain-text index space (one index
// per UTF-16 unit, one per line break; line breaks belong to no run). The passes that restyle many
// places at once (colours, links, glyphs) read and change the copy, and the result goes back to
// the document in one edit, or into the neutral RTF form, so their cost is linear in the text
// rather than one document edit, and one layout, per place.
//
// The same passes serve QTextDocument (QTextCharFormat runs) and RtfContent (RtfRunStyle runs);
// the small set of format operations below is all they need of either.

#include "richtext/RichTextFormat.h"
#include "richtext/RtfContent.h"

#include <QList>
#include <QString>
#include <QTextCharFormat>
#include <algorithm>

class QTextDocument;

namespace vesk {

// Equal formats, whatever order their properties were set in (QTextFormat's own comparison
// counts the order).
bool sameFormat(const QTextCharFormat& a, const QTextCharFormat& b);
inline bool sameFormat(const RtfRunStyle& a, const RtfRunStyle& b) { return a == b; }

template <typename Format>
struct FormatRun {
    int start = 0;
    int end = 0;
    Format format;
    bool changed = false;  // differs from what it was read as
};

template <typename Format>
class FormatRuns {
public:
    using Run = FormatRun<Format>;

    // Runs are appended in text order and do not overlap.
    void append(int start, int end, const Format& format)
    {
        if (end > start)
            m_runs.append(Run{start, end, format, false});
    }
    void reserve(qsizetype size) { m_runs.reserve(size); }
    const QList<Run>& runs() const { return m_runs; }

    // The format of the character at an index; none for a line break or outside the text.
    const Format* at(int index) const
    {
        auto it = std::upper_bound(m_runs.cbegin(), m_runs.cend(), index,
                                   [](int value, const Run& run) { return value < run.start; });
        if (it == m_runs.cbegin())
            return nullptr;
        --it;
        return index < it->end ? &it->format : nullptr;
    }

    // change(Format&) on every run.
    template <typename Change>
    void transformAll(Change change)
    {
        for (Run& run : m_runs)
            applyTo(run, [&change](Format& format) { change(format); });
    }

    // change(Format&, rangeIndex) on the text of each range; the ranges are sorted by start and do
    // not overlap. Runs are split at the range ends as needed.
    template <typename Change>
    void transformRanges(const QList<TextRange>& ranges, Change change)
    {
        if (ranges.isEmpty())
            return;
        QList<Run> out;
        out.reserve(m_runs.size() + 2 * ranges.size());
        qsizetype r = 0;
        for (const Run& run : m_runs) {
            int position = run.start;
            while (position < run.end) {
                while (r < ranges.size() && ranges[r].end() <= position)
                    ++r;
                if (r == ranges.size() || ranges[r].location >= run.end) {
                    out.append(Run{position, run.end, run.format, run.changed});
                    break;
                }
                const TextRange& range = ranges[r];
                if (range.location > position) {
                    out.append(Run{position, range.location, run.format, run.changed});
                    position = range.location;
                }
                const int stop = std::min(run.end, range.end());
                Run piece{position, stop, run.format, run.changed};
                applyTo(piece, [&change, r](Format& format) { change(format, r); });
                out.append(std::move(piece));
                position = stop;
            }
        }
        m_runs.swap(out);
    }

private:
    template <typename Change>
    static void applyTo(Run& run, Change change)
    {
        Format format = run.format;
        change(format);
        if (!sameFormat(format, run.format)) {
            run.format = std::move(format);
            run.changed = true;
        }
    }

    QList<Run> m_runs;
};

// The runs of a whole document, and writing the changed ones back in one edit block.
FormatRuns<QTextCharFormat> documentFormatRuns(const QTextDocument& document);
void applyFormatRuns(QTextDocument& document, const FormatRuns<QTextCharFormat>& runs);

// The neutral form as one text with runs, and back (the text itself never changes).
struct FlatContent {
    QString text;
    FormatRuns<RtfRunStyle> runs;
    QList<RtfAlignment> alignments;  // one per paragraph
    QList<int> paragraphStarts;      // where each paragraph's text starts
};
FlatContent flattenContent(const RtfContent& content);
RtfContent unflattenContent(const FlatContent& flat);

// What the passes need to know of a format, for both kinds.
bool formatHasLink(const QTextCharFormat& format);
bool formatHasLink(const RtfRunStyle& style);
QString formatHref(const QTextCharFormat& format);
QString formatHref(const RtfRunStyle& style);
// Links a run that has none; detection marks the links it makes where the format can hold a mark.
void setDetectedLink(QTextCharFormat& format, const QString& href);
void setDetectedLink(RtfRunStyle& style, const QString& href);
void clearLink(QTextCharFormat& format);
void clearLink(RtfRunStyle& style);
// The point size the run states; 0 when it states none.
qreal formatPointSize(const QTextCharFormat& format);
qreal formatPointSize(const RtfRunStyle& style);
// The look of a clickable checklist glyph of a size.
void setGlyphStyle(QTextCharFormat& format, qreal pointSize, const QString& href);
void setGlyphStyle(RtfRunStyle& style, qreal pointSize, const QString& href);
// Takes a glyph's look off a run that is not a glyph, leaving the body text's: typed or pasted
// right after a glyph, words take its format, and it is the glyph's alone.
void clearGlyphStyle(QTextCharFormat& format);
void clearGlyphStyle(RtfRunStyle& style);

} // namespace vesk
