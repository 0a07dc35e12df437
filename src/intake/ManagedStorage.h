#pragma once

#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "platform/IoFailure.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// "<data folder>/Items": the managed copies, one subfolder per item named by its identifier.
QString managedItemsDirectoryIn(const QString& dataDirectory);

// The name an unfinished copy has inside its item folder until it is complete.
QString managedStagingName();

// The free bytes a copy of dataBytes (what its files hold, holes left out) needs on a disk of
// diskBytes: the copy and room to spare. A copy that does not fit is refused before it starts.
qint64 roomNeededForCopy(qint64 dataBytes, qint64 diskBytes);

// The error text of a copy that was cancelled, and the failure that carries it.
QString managedCopyCancelledText();
IoFailure managedCopyCancelled();

struct ManagedCopyOptions {
    // The SHA-256 of a regular file, computed over the very buffers that are written: one read
    // of the source does both.
    bool hashContent = false;
    // Checked between chunks; a cancelled copy leaves nothing behind.
    std::optional<CancellationToken> cancel;
    // Bytes written so far, called on the copying thread after each chunk.
    std::function<void(qint64 bytesWritten)> progress;
    // Regular files at least this large are written straight to the disk, not through the page
    // cache (where the file system allows it).
    qint64 uncachedFromBytes = qint64(32) << 20;
};

struct ManagedCopy {
    QString path;
    // Present when asked for and the source is a regular file.
    std::optional<QString> sha256;
    // The bytes of a regular file; -1 for a folder.
    qint64 size = -1;
};

// Copies the file or folder at sourceNative (the path as the file system's bytes, so names in any
// encoding can be read) to "<itemsDirectory>/<ID>/<name>" and returns the copy. When something is
// already there it is returned as is. The copy is built under a staging name, flushed to the disk
// with every file and folder in it, renamed into place, and its folder flushed (and "Items" when
// the item folder is new), so that after a power cut a copy is either whole or absent. It keeps
// the source's modification time and costs a fixed buffer whatever its size; holes in a file
// stay holes in its copy. A copy that would not fit on the disk with room to spare is refused
// before anything is written, with an error ending in the system's text for a full disk. Symbolic links,
// pipes and devices inside a copied folder are left out: a copy never reaches outside what the
// user handed over. The failure says what failed, and whether reading or writing.
Expected<ManagedCopy, IoFailure> copyIntoManagedStorage(const QByteArray& sourceNative, const QString& name,
                                                        const QString& itemsDirectory, const QUuid& id,
                                                        const ManagedCopyOptions& options = {});

// The same for a path given as text, keeping its own file name.
Expected<QString, IoFailure> copyIntoManagedStorage(const QString& source, const QString& itemsDirectory,
                                                    const QUuid& id);

// Where a managed copy stored under another data folder (the library was moved, or stored with
// a relative path) now lies: "<itemsDirectory>/<ID>/<rest>" when the stored path does not exist
// but that one does. None when the stored path is already in itemsDirectory, is no managed path
// of this item, or nothing is found.
std::optional<QString> relocatedManagedPath(const QString& storedPath, const QUuid& id, const QString& itemsDirectory);

// Makes the folder and any missing parents. The system's own error when one cannot be made: a
// disk out of room or out of inodes says so (ENOSPC), which a plain yes or no would hide.
Expected<void, IoFailure> makeFolders(const QString& folder);

// Flushes a folder's entries (a rename or a new file in it) to the disk; false when it cannot.
bool syncDirectory(const QString& path);

} // namespace vesk
