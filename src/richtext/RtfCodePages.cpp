#include "richtext/RtfCodePages.h"

#include <QStringDecoder>

namespace vesk {

namespace {

// Bytes 0x80..0x9F of Windows-1252; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* data = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        data[i] = b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

const char* codecName(int codePage)
{
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return nullptr;
    }
}

// Shift-JIS keeps half-width katakana as single bytes.
bool isSingleHighByte(int codePage, unsigned char byte)
{
    return codePage == 932 && byte >= 0xA1 && byte <= 0xDF;
}

// Decodes one well-formed character (one or two bytes); U+FFFD when the code page has none there.
void appendCharacter(QStringDecoder& decoder, const char* bytes, qsizetype length, QString& out)
{
    decoder.resetState();
    const QString decoded = decoder.decode(QByteArrayView(bytes, length));
    if (decoder.hasError() || decoded.isEmpty())
        out.append(QChar(0xFFFD));
    else
        out.append(decoded);
}

QString decodeDoubleByte(const QByteArray& bytes, int codePage, QStringDecoder& decoder)
{
    // Cut into characters first, so that one bad sequence costs one character and never shifts
    // the pairing of what follows.
    QByteArray wellFormed;
    wellFormed.reserve(bytes.size());
    bool clean = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || isSingleHighByte(codePage, b)) {
            wellFormed.append(char(b));
        } else if (isLeadByte(codePage, b) && i + 1 < bytes.size()
                   && isTrailByte(codePage, static_cast<unsigned char>(bytes[i + 1]))) {
            wellFormed.append(char(b)).append(bytes[i + 1]);
            ++i;
        } else {
            clean = false;
            break;
        }
    }
    if (clean) {
        // The usual case: one call for the whole run.
        decoder.resetState();
        QString text = decoder.decode(wellFormed);
        if (!decoder.hasError())
            return text;
    }
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.append(QChar(b));
        } else if (isSingleHighByte(codePage, b)) {
            appendCharacter(decoder, bytes.constData() + i, 1, out);
        } else if (isLeadByte(codePage, b) && i + 1 < bytes.size()
                   && isTrailByte(codePage, static_cast<unsigned char>(bytes[i + 1]))) {
            appendCharacter(decoder, bytes.constData() + i, 2, out);
            ++i;
        } else {
            out.append(QChar(0xFFFD));
        }
    }
    return out;
}

} // namespace

int codePageForRtfCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    default: return 0;
    }
}

bool isDoubleByteCodePage(int codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool isLeadByte(int codePage, unsigned char byte)
{
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
    }
}

bool isTrailByte(int codePage, unsigned char byte)
{
    switch (codePage) {
    case 932: return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
    case 936: return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
    case 949: return (byte >= 0x41 && byte <= 0x5A) || (byte >= 0x61 && byte <= 0x7A) || (byte >= 0x81 && byte <= 0xFE);
    case 950: return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xFE);
    default: return false;
    }
}

QString decodeCodePage(const QByteArray& bytes, int codePage)
{
    if (bytes.isEmpty())
        return {};
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    // The usual case, and the one each accented word of Western text hits: no converter needed.
    if (codePage == 1252 || codePage == 0)
        return decodeCp1252(bytes);
    const char* name = codecName(codePage);
    if (!name)
        return decodeCp1252(bytes);
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return decodeCp1252(bytes);
    if (isDoubleByteCodePage(codePage))
        return decodeDoubleByte(bytes, codePage, decoder);
    // Single-byte code pages: a byte without a character there is U+FFFD, the rest as decoded.
    QString text = decoder.decode(bytes);
    if (!decoder.hasError() && text.size() == bytes.size())
        return text;
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        appendCharacter(decoder, bytes.constData() + i, 1, out);
    return out;
}

} // namespace vesk
