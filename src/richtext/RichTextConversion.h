#pragma once
// The stored form of a rich-text body (RTF bytes of the whole text) and the ways into and out of it.
//
// Colours are never stored. On screen, text without a foreground brush is painted in the palette's
// text colour, which follows the light or dark appearance: that absence is what "the label colour"
// is in a QTextDocument, and normalizeTextColors produces it.

#include "richtext/RtfContent.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <memory>
#include <optional>

class QTextDocument;

namespace vesk {

// Removes every foreground colour and underline colour, so text and underlines follow the theme.
// With a link colour, links keep (or get) that colour instead.
void normalizeTextColors(QTextDocument& document, const std::optional<QColor>& linkColor = std::nullopt);

// RTF of the whole text with colours removed, links detected and glyphs styled; none for an empty
// text or when writing fails. The argument is not changed.
std::optional<QByteArray> makeRTFData(const QTextDocument& document);
// The same from the neutral form, which may be made on the main thread (contentFromDocument) and
// written elsewhere; `systemFamily` is richTextSystemFamily() as the main thread sees it.
std::optional<QByteArray> makeRTFData(RtfContent content, const QString& systemFamily);

// Links detected and checklist glyphs styled in the neutral form: what reading stored text for
// editing or showing adds to it (it holds no colours to normalise).
void prepareRichTextContent(RtfContent& content);

// Stored RTF ready for editing (colours normalised, links detected, glyphs styled); the fallback
// plain text in the default font when there is no RTF or it cannot be read. Never fails.
// `truncated` tells whether the stored body was longer than the reader takes: the document is
// then not the whole body, and must not be stored in its place.
std::unique_ptr<QTextDocument> editableAttributedString(const std::optional<QByteArray>& rtf,
                                                        const QString& fallback, bool* truncated = nullptr);

// What the editor and the read view run before showing text: colours normalised (links in the link
// colour), links detected, glyphs styled; as one edit of the document.
// For text being edited, links that detection made follow the text (refreshDetectedLinks).
enum class DisplayPassMode { Showing, Editing };
void runDisplayPass(QTextDocument& document, const QColor& linkColor, DisplayPassMode mode = DisplayPassMode::Showing);

// Whether two documents show the same text with the same formatting.
bool sameRichText(const QTextDocument& a, const QTextDocument& b);

} // namespace vesk
