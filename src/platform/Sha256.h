#pragma once

#include "platform/CancellationToken.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace vesk {

// Lower-case hexadecimal of each byte ("%02x"), no separator.
QString hexDigestString(const QByteArray& digest);

// SHA-256 of a file's bytes as 64 lower-case hex digits, read in 1 MiB pieces so that a file of
// any size costs one buffer of memory. None when the file cannot be opened, is not a regular
// file, or a read fails.
std::optional<QString> sha256HexOfFile(const QString& path);
// The same for a path given as the file system's bytes; none too when cancel is set meanwhile.
std::optional<QString> sha256HexOfNativeFile(const QByteArray& nativePath, const CancellationToken* cancel = nullptr);

// SHA-256 of bytes in memory, as hex.
QString sha256Hex(const QByteArray& bytes);

} // namespace vesk
