#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

namespace vesk {

// What the library's rows say about the managed folder, taken on the main thread and handed to
// the sweep.
struct ItemsFolderReferences {
    // Names of item folders ("<ID>") that belong to an item: its identifier, or a folder its path
    // lies in.
    QSet<QString> folderNames;
    // Every stored managed path, so that a user's own file that merely carries the staging name
    // is kept.
    QSet<QString> filePaths;
    // Folders of imports still running: never touched.
    QSet<QString> busyFolderNames;
};

struct ItemsFolderSweepReport {
    // Unfinished copies removed (their paths).
    QStringList removedStaging;
    // Folders (or loose files) no item refers to, moved from "Items" to the recovered folder:
    // "<from> -> <to>".
    QStringList recovered;
    // How many files the moved entries hold, and their size in bytes.
    qint64 recoveredFiles = 0;
    qint64 recoveredBytes = 0;
    // What the moved entries were, by name: the file or package an item folder held (each entry
    // directly in it), or a loose file's own name. An item folder is named by an identifier
    // nobody knows; what it held is what the user brought in.
    QStringList recoveredNames;
    // Item folders left empty by an interrupted import, removed.
    QStringList removedEmpty;
    // What could not be moved or removed, with the reason.
    QStringList errors;
};

// Cleans the managed folder after an interrupted run: removes the unfinished copies that an
// import leaves under its staging name, and moves whatever no item refers to into
// recoveredDirectory (created when needed), since it may be the user's only copy; nothing but
// staging leftovers and empty item folders is ever deleted. Entries changed at or after
// notBefore may belong to work that began after the references were taken, and are left alone.
// Logs each step.
ItemsFolderSweepReport sweepItemsFolder(const QString& itemsDirectory, const QString& recoveredDirectory,
                                        const ItemsFolderReferences& references, const QDateTime& notBefore);

} // namespace vesk
