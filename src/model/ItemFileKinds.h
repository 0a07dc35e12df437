#pragma once

#include "model/VeskItem.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace vesk {

// Written into searchableText by web-content capture.
inline constexpr const char* kHtmlSourceMarker = "__vesk_source_html__";
// Written into searchableText of secrets and credit cards.
inline constexpr const char* kSecureSecretMarkerText = "__vesk_secure__";
inline constexpr const char* kSecureCreditCardMarkerText = "__vesk_secure_credit_card__";

// The one table of what each kind is called and drawn with.
// The kind's word in titles and labels: "Text", "Link", "Image", "File", "Activity".
QString veskKindWord(VeskKind kind);
// The kind's symbol name; a file's symbol depends on its format (see formatBadgeSymbol).
QString veskKindSymbol(VeskKind kind);
// The extensions (lower case) of files that are pictures.
bool isImageFileExtension(const QString& lowerExtension);
// The same, for the extension of a path.
bool hasImageFileExtension(const QString& path);

// The lower-case extension of the managed file's name; empty without a file path.
QString itemFileExtension(const VeskItem& item);

// Either secure marker anywhere in searchableText.
bool itemHasSecureMarker(const VeskItem& item);

// Shows as a picture: every image item, and any item whose file has an image extension.
bool isImageLikeItem(const VeskItem& item);
// Captured web content or an HTML file.
bool isHTMLSourcedItem(const VeskItem& item);
// Short upper-case format word ("PDF", "SHEET", "FILE", or the extension itself).
QString formatBadgeText(const VeskItem& item);
// Symbol name for the file's format ("doc.richtext", "film", ..., "doc").
QString formatBadgeSymbol(const VeskItem& item);
// When the managed file's content was made, in UTC: the original's birth time recorded beside the
// copy at the import, else the copy's own birth time; none without a path, for a missing file, or
// when neither is known.
std::optional<QDateTime> fileCreationDate(const VeskItem& item);
std::optional<QDateTime> fileCreationDate(const QString& path);

} // namespace vesk
