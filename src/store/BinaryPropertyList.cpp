#include "store/BinaryPropertyList.h"

#include <QVariantList>
#include <QVariantMap>
#include <plist/plist.h>

#include <memory>

namespace vesk {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

// The libplist node for a value, or nothing (with failure set) for a value no property list holds.
PlistNode toNode(const QVariant& value, QString& failure)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        PlistNode dictionary(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            PlistNode child = toNode(it.value(), failure);
            if (!child)
                return nullptr;
            // The dictionary takes the child over.
            plist_dict_set_item(dictionary.get(), it.key().toUtf8().constData(), child.release());
        }
        return dictionary;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        PlistNode array(plist_new_array());
        for (const QVariant& element : value.toList()) {
            PlistNode child = toNode(element, failure);
            if (!child)
                return nullptr;
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::Bool:
        return PlistNode(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        // Eight-byte integers are signed in the binary form: a negative value reads back as itself.
        return PlistNode(plist_new_uint(quint64(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        return PlistNode(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return PlistNode(plist_new_real(value.toDouble()));
    case QMetaType::QString:
        return PlistNode(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return PlistNode(plist_new_data(bytes.constData(), quint64(bytes.size())));
    }
    default:
        failure = QStringLiteral("Property lists cannot hold a value of type %1")
                      .arg(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"));
        return nullptr;
    }
}

} // namespace

Expected<QByteArray, QString> encodeBinaryPropertyList(const QVariant& root)
{
    QString failure;
    const PlistNode node = toNode(root, failure);
    if (!node)
        return unexpected(failure);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(node.get(), &bytes, &length);
    if (!bytes)
        return unexpected(QStringLiteral("The property list could not be encoded"));
    const QByteArray encoded(bytes, qsizetype(length));
    plist_to_bin_free(bytes);
    return encoded;
}

} // namespace vesk
