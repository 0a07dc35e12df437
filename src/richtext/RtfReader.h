#pragma once
// A tolerant RTF reader for untrusted bytes (clipboard, drops, stored bodies). It understands what
// word processors and browsers commonly write: nested groups, font tables with charsets, code pages,
// \uN escapes, HYPERLINK fields, ignorable destinations. Pictures, objects, style sheets, colour
// tables and document info are skipped; colours are dropped. Any byte sequence is safe: group depth,
// output size, field instructions and \binN skips are all bounded, and the work is linear.

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

// None when the bytes do not start (after white space) with "{\rtf": the caller then falls back
// to plain text. Otherwise the content read up to the end, the last closing brace or a limit.
std::optional<RtfContent> parseRtf(QByteArrayView bytes, const RtfReaderLimits& limits = {});

// The link target of a field instruction such as `HYPERLINK "https://example.org"`; empty when the
// instruction is not a hyperlink or names only a local bookmark.
QString hyperlinkFromFieldInstruction(const QString& instruction);

} // namespace vesk
