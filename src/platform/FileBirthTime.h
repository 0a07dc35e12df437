#pragma once
// When a file was made. Linux cannot give a copied file its original's birth time, so the library
// records that time in an extended attribute beside each managed copy and reads it back first.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace vesk {

// The extended attribute that holds an imported file's original birth time (ISO 8601, UTC).
inline constexpr const char* kRecordedCreationAttribute = "user.vesk.created";

// The file's own birth time, or none where the file system does not keep one. The second form
// takes the path as the file system's bytes.
std::optional<QDateTime> fileBirthTime(const QString& path);
std::optional<QDateTime> fileBirthTime(const QByteArray& nativePath);

// Writes `created` into the file's recorded-creation attribute; false (errno kept) when the file
// system refuses extended attributes.
[[nodiscard]] bool writeRecordedCreation(const QString& path, const QDateTime& created);

// The recorded original birth time, or none when nothing (or nothing readable) is recorded.
std::optional<QDateTime> recordedCreation(const QString& path);

} // namespace vesk
