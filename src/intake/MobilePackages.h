#pragma once
// The two package folders the phone companion sends: note packages (".vesknote") and activity
// packages (".veskactivity"), their manifests and where the files they name may lie.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vesk {

// Case-insensitive extension tests on the path alone.
bool hasNotePackageExtension(const QString& path);
bool hasActivityPackageExtension(const QString& path);

// Each path replaced by the root folder of the note or activity package it lies in (the first
// such folder from the root), cleaned, without repeats, in order of first appearance.
QStringList packageRootPaths(const QStringList& paths);

// Where a path named inside a package leads. Absolute paths, ".." that climbs out and symbolic
// links that point out of the package are all Outside: a package never reaches beyond itself.
struct PackagePath {
    enum class Where { Inside, Outside, Missing };
    Where where = Where::Missing;
    // The resolved path when Inside; the cleaned joined path when Missing.
    QString path;
};
PackagePath resolvePackagePath(const QString& packageRoot, const QString& relative);

// snake_case key to camelCase; leading and trailing underscores stay.
QString camelCaseKey(const QString& key);

// "note.json" with its keys exactly as written; none when a required key is missing or of the
// wrong type. Validity beyond the types (version, kind, identity) is the importer's.
struct MobileNoteManifest {
    qint64 schemaVersion = 0;
    QString kind;
    QString noteID;
    QString createdAt;
    QString text;
    QStringList attachments;
};
std::optional<MobileNoteManifest> decodeNoteManifest(const QByteArray& json);
// Only "attachments", which must be there; for judging whether a package has fully arrived.
std::optional<QStringList> decodeNoteAttachments(const QByteArray& json);

// The fields of "activity.json" every reader takes, snake_case keys converted; every one optional.
struct MobileActivityFields {
    std::optional<QString> activityID;
    std::optional<QString> title;
    std::optional<QString> activityType;
    std::optional<QString> startedAt;
    std::optional<QString> endedAt;
    std::optional<QString> summary;
    std::optional<QString> notes;
    std::optional<QString> locationSummary;
    std::optional<qint64> captureCount;
};

// The importer's reading of "activity.json". None when the text is not a JSON object or a field
// has the wrong type; events need no more than a well-typed path.
struct MobileActivityManifest : MobileActivityFields {
    // Each event's "relativePath" (absent ones as empty texts).
    QStringList eventPaths;
};
std::optional<MobileActivityManifest> decodeActivityManifest(const QByteArray& json);

// The preview's reading of "note.json": the keys it needs, exactly as written, all required.
struct PhotoNoteManifest {
    qint64 schemaVersion = 0;
    QString kind;
    QString text;
    QStringList attachments;
};
std::optional<PhotoNoteManifest> decodePhotoNoteManifest(const QByteArray& json);

// One entry of an activity's timeline. Identity, kind and time are required.
struct VeskActivityTimelineEvent {
    QString eventID;
    QString kind;
    QString createdAt;
    std::optional<QString> relativePath;
    std::optional<QString> text;
    // The file the event names, resolved inside the package by whoever read the package; none
    // when it names none or the path leads out of the package.
    std::optional<QString> filePath;
};

// The preview's reading of "activity.json": the importer's fields and the timeline. An event
// lacking a required key, or any wrongly typed value, spoils the whole manifest.
struct VeskActivityManifest : MobileActivityFields {
    std::optional<QList<VeskActivityTimelineEvent>> events;
};
std::optional<VeskActivityManifest> decodeVeskActivityManifest(const QByteArray& json);

// True when token occurs in text bounded by white space or the text's ends.
bool containsWholeToken(const QString& text, const QString& token);

// The largest manifest a package may have.
constexpr qint64 kSmallFileLimit = 4 * 1024 * 1024;
// Reads a small file whole; none when it cannot be opened or is not a regular file.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 limit = kSmallFileLimit);

} // namespace vesk
