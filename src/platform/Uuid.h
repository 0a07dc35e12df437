#pragma once

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// The stored form of identifiers: 36 characters, upper case, no braces.
QString uuidString(const QUuid& id);

// Reads the 36-character form in either case (braces are not accepted); none when it does not
// parse or is the nil UUID text with wrong length.
std::optional<QUuid> parseUuid(const QString& text);

} // namespace vesk
