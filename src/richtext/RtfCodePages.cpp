#include "richtext/RtfCodePages.h"

#include <QHash>
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
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
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

QString decodeCodePage(const QByteArray& bytes, int codePage)
{
    if (bytes.isEmpty())
        return {};
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    // The usual case, and the one each accented word of Western text hits: no converter needed.
    if (codePage == 1252 || codePage == 0)
        return decodeCp1252(bytes);
    if (const char* name = codecName(codePage)) {
        QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            QString text = decoder.decode(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    return decodeCp1252(bytes);
}

} // namespace vesk
