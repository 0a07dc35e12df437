#include "model/ItemText.h"

#include <QAnyStringView>

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

constexpr qsizetype kInvalid = -1;

// Bytes in the sequence a lead byte starts; 0 for a byte that cannot lead.
int sequenceLength(uchar lead)
{
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2)
        return 0;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF5)
        return 4;
    return 0;
}

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// The text's length in UTF-16 units, or kInvalid when the bytes are not well-formed UTF-8 in the
// sense QString::fromUtf8 decodes without replacement: no overlong forms, no encoded surrogates,
// nothing past U+10FFFF.
qsizetype utf16Length(const char* data, qsizetype size)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data);
    qsizetype units = 0;
    qsizetype i = 0;
    while (i < size) {
        // Prose is mostly ASCII: eight bytes at a time while no high bit is set.
        while (i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, bytes + i, sizeof word);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
            units += 8;
        }
        if (i == size)
            break;
        const uchar lead = bytes[i];
        const int length = sequenceLength(lead);
        if (length == 0 || i + length > size)
            return kInvalid;
        if (length > 1) {
            const uchar second = bytes[i + 1];
            if (!isContinuation(second))
                return kInvalid;
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F)
                || (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
                return kInvalid;
            for (int k = 2; k < length; ++k) {
                if (!isContinuation(bytes[i + k]))
                    return kInvalid;
            }
        }
        units += length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

// The byte offset at which the first `units` UTF-16 units end in valid UTF-8. A surrogate pair
// that would be cut ends the prefix before it when roundDown, after it otherwise.
qsizetype byteOffset(const QByteArray& utf8, qsizetype units, bool roundDown)
{
    const auto* bytes = reinterpret_cast<const uchar*>(utf8.constData());
    const qsizetype size = utf8.size();
    qsizetype i = 0;
    qsizetype counted = 0;
    while (i < size && counted < units) {
        const int length = sequenceLength(bytes[i]);
        const int width = length == 4 ? 2 : 1;
        if (counted + width > units && roundDown)
            break;
        counted += width;
        i += length;
    }
    return i;
}

} // namespace

ItemText::ItemText(const QString& text) : ItemText(QStringView(text)) {}

ItemText::ItemText(QStringView text)
{
    QByteArray utf8 = text.toUtf8();
    // The encoder allocates for the longest possible result; a text kept for the life of the
    // library keeps only what it uses.
    if (utf8.capacity() > utf8.size())
        utf8.squeeze();
    // Counted from the bytes, not taken from the text: a lone surrogate was written as U+FFFD.
    m_length = utf16Length(utf8.constData(), utf8.size());
    m_utf8 = std::move(utf8);
}

ItemText::ItemText(const char* utf8)
{
    if (utf8)
        adopt(QByteArray(utf8));
}

ItemText ItemText::fromUtf8(const QByteArray& utf8)
{
    ItemText text;
    text.adopt(utf8);
    return text;
}

ItemText ItemText::fromUtf8(const char* utf8, qsizetype size)
{
    ItemText text;
    if (utf8 && size > 0)
        text.adopt(QByteArray(utf8, size));
    return text;
}

QString ItemText::decode(const char* utf8, qsizetype size)
{
    // QString::fromUtf8 takes a leading EF BB BF for a byte order mark and drops it; here it is
    // the character U+FEFF of the text.
    qsizetype marks = 0;
    while (size - 3 * marks >= 3 && std::memcmp(utf8 + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    QString text = QString::fromUtf8(utf8 + 3 * marks, size - 3 * marks);
    if (marks > 0)
        text.prepend(QString(marks, QChar(0xFEFF)));
    return text;
}

void ItemText::adopt(QByteArray utf8)
{
    qsizetype length = utf16Length(utf8.constData(), utf8.size());
    if (length == kInvalid) {
        // Rare (bytes written by some other program): hold what a decode makes of them, so that
        // the text has one spelling however it is reached. Valid bytes are kept as they are, a
        // leading EF BB BF too: it is the text's U+FEFF, which a decode would drop.
        utf8 = decode(utf8.constData(), utf8.size()).toUtf8();
        length = utf16Length(utf8.constData(), utf8.size());
    }
    if (utf8.capacity() > utf8.size())
        utf8.squeeze();
    m_utf8 = std::move(utf8);
    m_length = length;
}

QString ItemText::toString() const
{
    if (isAscii())
        return QString::fromLatin1(m_utf8.constData(), m_utf8.size());
    return decode(m_utf8.constData(), m_utf8.size());
}

QString ItemText::left(qsizetype count) const
{
    if (count >= m_length)
        return toString();
    if (count <= 0)
        return QString();
    if (isAscii())
        return QString::fromLatin1(m_utf8.constData(), count);
    return decode(m_utf8.constData(), byteOffset(m_utf8, count, true));
}

QString ItemText::mid(qsizetype position, qsizetype count) const
{
    if (position < 0) {
        if (count >= 0)
            count = std::max<qsizetype>(0, count + position);
        position = 0;
    }
    if (position >= m_length)
        return QString();
    if (count < 0 || count > m_length - position)
        count = m_length - position;
    if (position == 0)
        return left(count);
    if (isAscii())
        return QString::fromLatin1(m_utf8.constData() + position, count);
    const qsizetype start = byteOffset(m_utf8, position, false);
    const qsizetype end = byteOffset(m_utf8, position + count, true);
    if (end <= start)
        return QString();
    return decode(m_utf8.constData() + start, end - start);
}

bool ItemText::isBlank() const
{
    const auto* bytes = reinterpret_cast<const uchar*>(m_utf8.constData());
    const qsizetype size = m_utf8.size();
    for (qsizetype i = 0; i < size;) {
        const uchar lead = bytes[i];
        const int length = sequenceLength(lead);
        char32_t code = lead;
        if (length == 2)
            code = char32_t(lead & 0x1F) << 6 | (bytes[i + 1] & 0x3F);
        else if (length == 3)
            code = char32_t(lead & 0x0F) << 12 | char32_t(bytes[i + 1] & 0x3F) << 6 | (bytes[i + 2] & 0x3F);
        else if (length == 4)
            code = char32_t(lead & 0x07) << 18 | char32_t(bytes[i + 1] & 0x3F) << 12
                | char32_t(bytes[i + 2] & 0x3F) << 6 | (bytes[i + 3] & 0x3F);
        if (!QChar::isSpace(code))
            return false;
        i += length;
    }
    return true;
}

bool ItemText::equals(QStringView other) const
{
    if (other.size() != m_length)
        return false;
    if (isAscii())
        return QLatin1String(m_utf8.constData(), m_utf8.size()) == other;
    return QAnyStringView::equal(QUtf8StringView(m_utf8.constData(), m_utf8.size()), other);
}

} // namespace vesk
