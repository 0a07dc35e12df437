#pragma once

#include "richtext/RtfCodePages.h"

#include <QByteArray>
#include <QString>

namespace vesk {

// 8-bit text waiting to be decoded: the bytes of one stretch of text under one code page. In a
// double-byte code page a lead byte claims the byte after it, even one in the ASCII range.
class RtfPendingBytes {
public:
    // Whether the byte joins the pending text (a byte above ASCII, or the trail of a pending lead).
    bool take(unsigned char byte, int codePage)
    {
        if (m_leadPending) {
            m_leadPending = false;
            if (isTrailByte(codePage, byte)) {
                m_bytes.append(char(byte));
                return true;
            }
        }
        if (byte < 0x80)
            return false;
        m_bytes.append(char(byte));
        m_leadPending = isLeadByte(codePage, byte);
        return true;
    }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    // Between two characters, where the text may be decoded without splitting one.
    bool atCharacterBoundary() const { return !m_leadPending; }
    qsizetype size() const { return m_bytes.size(); }
    QString decode(int codePage)
    {
        QString text = decodeCodePage(m_bytes, codePage);
        m_bytes.clear();
        m_leadPending = false;
        return text;
    }

private:
    QByteArray m_bytes;
    bool m_leadPending = false;
};

} // namespace vesk
