#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <optional>

namespace vesk {

// An item's text as it is held in memory: UTF-8 bytes, the form the database keeps and the
// search index reads, at half the size of UTF-16 for the prose that fills a library. Copies share
// one buffer, and so do equal texts made from one another (a note's text and its searchable
// copy), so a library holds each text once.
//
// There is no implicit conversion to QString on purpose: a whole decode of a text of megabytes
// takes longer than a frame, so code that paints or answers keys asks for what it shows
// (left(), size(), the bytes) and only a worker or a one-off action calls toString().
//
// The bytes are always valid UTF-8: valid bytes are kept as they came, invalid ones become what a
// decode makes of them (U+FFFD for each bad sequence), and a lone surrogate of a QString becomes
// "?" as QString::toUtf8 writes it, so equal texts have equal bytes, the bytes are exactly those
// the database has always been given for the text, and a text read is written back unchanged.
// A leading U+FEFF is part of the text (QString::fromUtf8 would drop it as a byte order mark).
class ItemText {
public:
    ItemText() = default;
    // Implicit: assigning a QString to an item's text is an ordinary write.
    ItemText(const QString& text);
    ItemText(QStringView text);
    // UTF-8, as QString's own constructor from const char* reads it.
    ItemText(const char* utf8);

    // Bytes from outside (the database, a file): checked once here, never decoded to UTF-16.
    static ItemText fromUtf8(const QByteArray& utf8);
    static ItemText fromUtf8(const char* utf8, qsizetype size);

    // UTF-8 decoded as it stands. Unlike QString::fromUtf8 a U+FEFF at the start is kept, so a
    // piece of a text decodes to that piece of it.
    static QString decode(const char* utf8, qsizetype size);

    // The whole text decoded: costs a pass over all of it and a UTF-16 buffer of twice its size.
    QString toString() const;
    // The first count UTF-16 units, decoding only those; a surrogate pair the count would cut in
    // half is left out whole rather than ending the result in half a character.
    QString left(qsizetype count) const;
    // count UTF-16 units from position (bounded like QString::mid), with the same care for pairs
    // at both ends: a pair cut at the start is skipped, one cut at the end left out.
    QString mid(qsizetype position, qsizetype count = -1) const;

    // Length in UTF-16 units, as QString::size() gives it for the same text.
    qsizetype size() const { return m_length; }
    bool isEmpty() const { return m_length == 0; }
    // Every character is ASCII: one byte is one UTF-16 unit.
    bool isAscii() const { return m_length == m_utf8.size(); }

    // Nothing but white space (QChar::isSpace), as QString::trimmed().isEmpty() tells, without a
    // decode: the answer comes at the first character that is not a space.
    bool isBlank() const;

    const QByteArray& utf8() const { return m_utf8; }
    const char* constData() const { return m_utf8.constData(); }
    // Whether the two hold one buffer: a cheap identity for caches of what a text looks like.
    bool isSharedWith(const ItemText& other) const { return m_utf8.isSharedWith(other.m_utf8); }

    // Byte comparison, which for valid UTF-8 is the comparison of the texts.
    friend bool operator==(const ItemText& a, const ItemText& b)
    {
        // One buffer is one text: the item compared with its own copy (the pane's check of an
        // item the store reports again) costs nothing however long it is.
        return a.m_length == b.m_length && (a.m_utf8.isSharedWith(b.m_utf8) || a.m_utf8 == b.m_utf8);
    }
    friend bool operator!=(const ItemText& a, const ItemText& b) { return !(a == b); }
    // Compares without decoding into a new buffer.
    friend bool operator==(const ItemText& a, QStringView b) { return a.equals(b); }
    friend bool operator==(const ItemText& a, const QString& b) { return a.equals(b); }
    friend bool operator==(const ItemText& a, const char* b) { return a.equals(QString::fromUtf8(b)); }
    friend bool operator!=(const ItemText& a, const QString& b) { return !a.equals(b); }
    friend bool operator!=(const ItemText& a, QStringView b) { return !a.equals(b); }

private:
    bool equals(QStringView other) const;
    void adopt(QByteArray utf8);

    QByteArray m_utf8;
    qsizetype m_length = 0;
};

inline size_t qHash(const ItemText& text, size_t seed = 0) noexcept
{
    return ::qHash(text.utf8(), seed);
}

// The whole text decoded, or an empty string for none: for workers and one-off actions.
inline QString decodedText(const std::optional<ItemText>& text)
{
    return text ? text->toString() : QString();
}

} // namespace vesk
