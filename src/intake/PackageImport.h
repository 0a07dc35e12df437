#pragma once
// The disk side of importing a phone package: the checks a note or activity package must pass
// and its managed copy. Runs on a worker; deciding whether the library already holds the
// package, and making the item, is the store's.

#include "intake/MobilePackages.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// The manifest of a valid note package (version 1, kind "note", a UUID identity, attachments);
// none, logged, otherwise.
std::optional<MobileNoteManifest> validNoteManifest(const QString& package);
// Why the photos a note names cannot be taken as they stand: the first that lies outside "media/"
// or the package, is missing, is empty or is no picture. None when every one is a picture in
// "media/" inside the package.
std::optional<QString> noteAttachmentsRefusal(const QString& package, const QStringList& attachments);
// The manifest of an activity package folder, or of a lone manifest file; none when unreadable.
std::optional<MobileActivityManifest> readActivityManifest(const QString& package);

struct PreparedPackage {
    // The package as it was handed over.
    QString source;
    std::optional<MobileNoteManifest> note;
    std::optional<MobileActivityManifest> activity;
    // The managed copy; none when the package was refused or could not be copied.
    std::optional<QString> managedPath;
    // Why the package cannot be imported as it stands, in words for the user; none unless refused.
    std::optional<QString> refusal;
    // Why the managed copy could not be made, in words for the user ("the disk is full"); none
    // unless it failed.
    std::optional<QString> copyFailure;
    // The package's whole tree as it was before it was checked (entryTreeStamp).
    QByteArray stamp;
    // Nothing was there: it was taken away before it was looked at.
    bool missing = false;
};

// Checks a note package and copies it to "<itemsDirectory>/<id>/<name>".
PreparedPackage prepareNotePackage(const QString& package, const QString& itemsDirectory, const QUuid& id);
// Reads an activity package's manifest (it may have none) and copies the package.
PreparedPackage prepareActivityPackage(const QString& package, const QString& itemsDirectory, const QUuid& id);

} // namespace vesk
