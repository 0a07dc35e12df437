#include "platform/BinaryPropertyList.h"

#include <QVariantList>
#include <QVariantMap>
#include <cstring>
#include <limits>
#include <vector>

namespace vesk {

namespace {

// Object markers: the high nibble is the type, the low nibble a size or, at 0xF, "a count
// follows as an integer object".
constexpr quint8 kFalse = 0x08;
constexpr quint8 kTrue = 0x09;
constexpr quint8 kInteger = 0x10;
constexpr quint8 kReal = 0x20;
constexpr quint8 kData = 0x40;
constexpr quint8 kAsciiString = 0x50;
constexpr quint8 kUtf16String = 0x60;
constexpr quint8 kArray = 0xA0;
constexpr quint8 kDictionary = 0xD0;

// One object of the flattened tree: a scalar value, or a collection whose children are given by
// their positions in the object list (a dictionary's keys first, then its values).
struct PlistObject {
    QVariant scalar;
    quint8 collectionMarker = 0;
    std::vector<quint64> references;
};

class Flattener {
public:
    std::vector<PlistObject> objects;
    QString failure;

    quint64 add(const QVariant& value)
    {
        const quint64 index = objects.size();
        objects.emplace_back();
        const int type = value.typeId();
        if (type == QMetaType::QVariantMap) {
            const QVariantMap map = value.toMap();
            std::vector<quint64> references;
            references.reserve(size_t(map.size()) * 2);
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                references.push_back(addScalar(it.key()));
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                references.push_back(add(it.value()));
            objects[index].collectionMarker = kDictionary;
            objects[index].references = std::move(references);
        } else if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
            const QVariantList list = value.toList();
            std::vector<quint64> references;
            references.reserve(size_t(list.size()));
            for (const QVariant& element : list)
                references.push_back(add(element));
            objects[index].collectionMarker = kArray;
            objects[index].references = std::move(references);
        } else {
            if (!isScalar(value) && failure.isEmpty())
                failure = QStringLiteral("Property lists cannot hold a value of type %1")
                              .arg(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"));
            objects[index].scalar = value;
        }
        return index;
    }

private:
    quint64 addScalar(const QVariant& value)
    {
        objects.push_back(PlistObject{value, 0, {}});
        return objects.size() - 1;
    }

    static bool isScalar(const QVariant& value)
    {
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::QString:
        case QMetaType::QByteArray:
            return true;
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return value.toULongLong() <= quint64(std::numeric_limits<qint64>::max());
        default:
            return false;
        }
    }
};

void appendBigEndian(QByteArray& out, quint64 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

// Non-negative values take the smallest of 1, 2 and 4 bytes; negative and larger ones take 8, as
// readers treat only 8-byte integers as signed.
void appendInteger(QByteArray& out, qint64 value)
{
    int exponent = 3;
    if (value >= 0 && value <= 0xFF)
        exponent = 0;
    else if (value >= 0 && value <= 0xFFFF)
        exponent = 1;
    else if (value >= 0 && value <= 0xFFFFFFFFLL)
        exponent = 2;
    out.append(char(kInteger | exponent));
    appendBigEndian(out, quint64(value), 1 << exponent);
}

void appendMarker(QByteArray& out, quint8 type, quint64 count)
{
    if (count < 15) {
        out.append(char(type | quint8(count)));
    } else {
        out.append(char(type | 0x0F));
        appendInteger(out, qint64(count));
    }
}

void appendScalar(QByteArray& out, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        out.append(char(value.toBool() ? kTrue : kFalse));
        return;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        quint64 bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        out.append(char(kReal | 3));
        appendBigEndian(out, bits, 8);
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        appendMarker(out, kData, quint64(bytes.size()));
        out.append(bytes);
        return;
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            appendMarker(out, kAsciiString, quint64(text.size()));
            out.append(text.toLatin1());
        } else {
            appendMarker(out, kUtf16String, quint64(text.size()));
            for (QChar c : text)
                appendBigEndian(out, c.unicode(), 2);
        }
        return;
    }
    default:
        appendInteger(out, value.toLongLong());
        return;
    }
}

int widthFor(quint64 largest)
{
    if (largest <= 0xFF)
        return 1;
    if (largest <= 0xFFFF)
        return 2;
    if (largest <= 0xFFFFFFFFULL)
        return 4;
    return 8;
}

} // namespace

Expected<QByteArray, QString> encodeBinaryPropertyList(const QVariant& root)
{
    Flattener flattener;
    flattener.add(root);
    if (!flattener.failure.isEmpty())
        return unexpected(flattener.failure);

    const std::vector<PlistObject>& objects = flattener.objects;
    const int referenceWidth = widthFor(objects.size() - 1);

    QByteArray out("bplist00");
    std::vector<quint64> offsets;
    offsets.reserve(objects.size());
    for (const PlistObject& object : objects) {
        offsets.push_back(quint64(out.size()));
        if (object.collectionMarker == 0) {
            appendScalar(out, object.scalar);
            continue;
        }
        const quint64 count = object.collectionMarker == kDictionary ? object.references.size() / 2
                                                                       : object.references.size();
        appendMarker(out, object.collectionMarker, count);
        for (quint64 reference : object.references)
            appendBigEndian(out, reference, referenceWidth);
    }

    const quint64 offsetTableOffset = quint64(out.size());
    const int offsetWidth = widthFor(offsetTableOffset);
    for (quint64 offset : offsets)
        appendBigEndian(out, offset, offsetWidth);

    // Trailer: five unused bytes, the sort version, the two widths, the object count, the top
    // object and where the offset table starts.
    out.append(QByteArray(6, '\0'));
    out.append(char(offsetWidth));
    out.append(char(referenceWidth));
    appendBigEndian(out, objects.size(), 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, offsetTableOffset, 8);
    return out;
}

} // namespace vesk
