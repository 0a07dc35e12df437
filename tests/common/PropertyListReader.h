#pragma once

#include <QByteArray>
#include <QVariant>

namespace vesk::test {

// Reads a property list through `plistutil` (Debian libplist-utils), an implementation that is
// not ours: dictionaries become QVariantMap, arrays QVariantList, data QByteArray, integers
// qint64, reals double, strings QString and booleans bool. An invalid QVariant when plistutil is
// missing or rejects the bytes; `failure` then says why.
QVariant readPropertyList(const QByteArray& bytes, QString* failure = nullptr);

} // namespace vesk::test
