#pragma once
// A tolerant RTF reader for untrusted bytes (clipboard, drops, stored bodies). It understands what
// word processors and browsers commonly write: nested groups, font tables with charsets, single- and
// double-byte code pages, \uN escapes, HYPERLINK fields, hidden and deleted text, ignorable
// destinations. Pictures, objects, style sheets, colour tables and document info are skipped;
// colours are dropped. Any byte sequence is safe: group depth, output size, field instructions and
// \binN skips are all bounded, and the work is linear in the input.

#include "richtext/RtfContent.h"

#include <QByteArrayView>
#include <optional>

namespace vesk {

struct RtfReaderLimits {
    int maxGroupDepth = 200;
    qsizetype maxTextLength = 4 * 1024 * 1024;  // UTF-16 units of visible text
    qsizetype maxParagraphs = 500'000;
    qsizetype maxRuns = 1'000'000;
};

// Whether the bytes start (after white space) with "{\rtf": exactly the bytes parseRtf reads.
bool looksLikeRtf(QByteArrayView bytes);

// None when the bytes do not look like RTF: the caller then falls back to plain text. Otherwise
// the content read up to the end or the document's closing brace. When a limit made the reader
// drop text (the text, paragraph or run bound, groups nested too deep, a \binN past the end, an
// overlong field instruction), `truncated` is set: the content is then not the whole body.
std::optional<RtfContent> parseRtf(QByteArrayView bytes, const RtfReaderLimits& limits = {},
                                   bool* truncated = nullptr);

// The link target of a field instruction such as `HYPERLINK "https://example.org" \l "part"`
// (then "https://example.org#part"); empty when the instruction is not a hyperlink or names only
// a bookmark of its own document.
QString hyperlinkFromFieldInstruction(const QString& instruction);

} // namespace vesk
