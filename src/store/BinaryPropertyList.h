#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace vesk {

// Encodes a value as a binary property list ("bplist00", written by libplist), the form other
// tools read as a plist.
// Accepted values: bool, integers, double, QString (ASCII or UTF-16), QByteArray (data),
// QVariantList (array) and QVariantMap (dictionary with text keys, in the map's key order),
// nested freely. Any other value type fails with a message naming it; nothing is written then.
Expected<QByteArray, QString> encodeBinaryPropertyList(const QVariant& root);

} // namespace vesk
