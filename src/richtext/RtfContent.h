#pragma once
// The neutral form of rich text between RTF bytes and a QTextDocument: paragraphs of styled runs.
// The reader and writer deal only in this form, so both can be exercised (and fuzzed) with QtCore
// alone; RichTextRtf.h converts it to and from documents.

#include <QList>
#include <QString>

namespace vesk {

enum class RtfAlignment { Unset, Left, Center, Right, Justify };

struct RtfRunStyle {
    QString fontFamily;          // empty: the system font
    int sizeHalfPoints = 24;     // RTF's own unit; 24 is RTF's default of 12 pt
    int weight = 400;            // CSS-style weight: 400 regular, 600 semibold, 700 bold
    bool italic = false;
    bool underline = false;
    int baselineHalfPoints = 0;  // positive raises, negative lowers
    QString href;                // empty: not a link

    friend bool operator==(const RtfRunStyle&, const RtfRunStyle&) = default;
};

struct RtfRun {
    QString text;  // never holds line feeds or paragraph separators
    RtfRunStyle style;

    friend bool operator==(const RtfRun&, const RtfRun&) = default;
};

struct RtfParagraph {
    RtfAlignment alignment = RtfAlignment::Unset;
    QList<RtfRun> runs;

    friend bool operator==(const RtfParagraph&, const RtfParagraph&) = default;
};

struct RtfContent {
    QList<RtfParagraph> paragraphs;  // joined by line breaks; at least one after a successful read

    QString plainText() const;
    friend bool operator==(const RtfContent&, const RtfContent&) = default;
};

} // namespace vesk
