#pragma once
// Between QTextDocument and the neutral rich-text form that RtfReader and RtfWriter use.

#include "richtext/RtfContent.h"

#include <QByteArray>
#include <QColor>
#include <memory>
#include <optional>

class QTextDocument;

namespace vesk {

// A document set up the way every Vesk rich text is: the system font at 15 pt as its default. It is
// a value to hand around, so it keeps no undo history.
std::unique_ptr<QTextDocument> makeRichTextDocument();

RtfContent contentFromDocument(const QTextDocument& document);
// Replaces the document's whole content. With a link colour, links are shown in it.
void fillDocument(QTextDocument& document, const RtfContent& content,
                  const std::optional<QColor>& linkColor = std::nullopt);

// RTF bytes of the whole document as they stand (no colour removal, link detection or glyph
// styling: makeRTFData adds those).
QByteArray documentToRtf(const QTextDocument& document);
// None when the bytes are not RTF.
std::unique_ptr<QTextDocument> documentFromRtf(const QByteArray& bytes);

} // namespace vesk
