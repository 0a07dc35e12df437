#pragma once
// What the previews of phone packages read from a package's managed copy: the photos of a note,
// and an activity's manifest and media folder. Every path handed out has been resolved and lies
// inside its package. Reads the disk: call it off the main thread.

#include "intake/MobilePackages.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace vesk {

// The accepted attachments of the note package at filePath, in manifest order (repeats kept),
// each fully resolved. Empty when there is no path, no readable "note.json", a manifest of
// another version or kind, or no attachment that passes: under "media/" as written, no ".."
// piece, existing, and inside the package once links are resolved.
QStringList loadPhotoNotePackage(const std::optional<QString>& filePath);

struct VeskActivityPackageData {
    std::optional<VeskActivityManifest> manifest;
    std::optional<QString> packagePath;
    // The picture files of the package's "media" folder, oldest creation date first (dateless
    // ones first of all), directory order among equals.
    QStringList mediaPaths;
};

// Reads the activity package at path. Event files are resolved against the package; one that
// leads out of the package is dropped, as is a media entry that does. Never fails outward.
VeskActivityPackageData loadActivityPackage(const QString& path);

// True for the picture extensions an activity's media folder is listed for, in any case.
bool isActivityPhotoName(const QString& fileName);

// An internet date-time (date, "T", time, zone) with or without fractions of a second; none for
// any other text.
std::optional<QDateTime> parseInternetDateTime(const QString& text);

} // namespace vesk
