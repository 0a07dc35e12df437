#pragma once
// Turning the 8-bit bytes of RTF text (raw or \'hh) into Unicode under the code page in force.

#include <QByteArray>
#include <QString>

namespace vesk {

// The Windows code page an RTF \fcharsetN selects; 0 when unknown (then the document's applies).
int codePageForRtfCharset(int charset);

// The East Asian code pages (932, 936, 949, 950) write most characters as a lead byte and a trail
// byte; a trail byte may lie in the ASCII range, so RTF text then holds it as a plain character.
bool isDoubleByteCodePage(int codePage);
bool isLeadByte(int codePage, unsigned char byte);
bool isTrailByte(int codePage, unsigned char byte);

// Decodes bytes in a Windows code page (1252 when 0 or unknown and no decoder exists). In a
// double-byte code page lead and trail bytes are decoded as pairs. A byte sequence that is not a
// character gives U+FFFD for itself alone; never fails.
QString decodeCodePage(const QByteArray& bytes, int codePage);

} // namespace vesk
