#pragma once

#include <QDateTime>
#include <QMimeType>
#include <QString>
#include <QStringList>
#include <optional>

namespace vesk {

// Most characters a plain-text file contributes to the searchable text.
inline constexpr qsizetype kMaxFileTextCharacters = 120'000;
// Most bytes of an HTML file read for its text and title; a page is far smaller, and a larger
// file is cut at a character boundary rather than loaded whole.
inline constexpr qint64 kMaxHtmlFileBytes = 32 * 1024 * 1024;

// Extension after the last dot of the last path component, as written, or empty.
QString pathExtension(const QString& path);
// Lower-cased extension after the last dot of the last path component, or empty.
QString lowerPathExtension(const QString& path);
// The last path component without its extension.
QString baseNameWithoutExtension(const QString& path);

bool isHtmlExtension(const QString& lowerExtension);

// What the file system tells about a file; every value is absent when it cannot be read.
struct FileResourceValues {
    // The MIME type's name ("application/pdf"), standing in for a type identifier.
    std::optional<QString> typeIdentifier;
    std::optional<QMimeType> contentType;
    std::optional<qint64> fileSize;
    std::optional<QDateTime> creationDate;
    std::optional<QDateTime> modificationDate;
    // The name a file manager shows.
    std::optional<QString> localizedName;
};

FileResourceValues readResourceValues(const QString& path);

// An image by its extension or by its content type.
bool countsAsImage(const QString& path, const std::optional<QMimeType>& contentType);

// "<name> <name without extension> <extension> ..." with the resource values a person might
// search for: the type, the size in bytes, the creation and modification dates.
QStringList fileSearchableParts(const QString& sourcePath, const FileResourceValues& values);

// The page text and title of an HTML file, or the first kMaxFileTextCharacters characters of a
// plain-text file; nothing for folders, pictures (an SVG drawing too), other files or text that
// is not UTF-8.
QStringList fileTextParts(const QString& path, const std::optional<QMimeType>& contentType);

// The first maxCharacters characters of a UTF-8 file, reading only as far as needed. None when
// the file cannot be read or the part read is not valid UTF-8.
std::optional<QString> readUtf8Prefix(const QString& path, qsizetype maxCharacters);

// A UTF-8 file of at most maxBytes (a longer one is cut at the last whole character). None when
// it cannot be read or is not valid UTF-8.
std::optional<QString> readUtf8File(const QString& path, qint64 maxBytes);

} // namespace vesk
