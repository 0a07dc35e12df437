#pragma once
// Turning the 8-bit bytes of RTF text (raw or \'hh) into Unicode under the code page in force.

#include <QByteArray>
#include <QString>

namespace vesk {

// The Windows code page an RTF \fcharsetN selects; 0 when unknown (then the document's applies).
int codePageForRtfCharset(int charset);

// Decodes bytes in a Windows code page (1252 when 0 or unknown and no decoder exists). Invalid
// sequences become U+FFFD; never fails.
QString decodeCodePage(const QByteArray& bytes, int codePage);

} // namespace vesk
