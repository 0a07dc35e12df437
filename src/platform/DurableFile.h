#pragma once
// Writing a whole file that something will then name (a row, an import): QSaveFile buffers small
// writes and can report a commit whose buffered bytes the disk refused, and never flushes the file
// to the disk, so a full disk or a power cut could leave an empty or partial file in its place.

#include "platform/Expected.h"
#include "platform/IoFailure.h"

#include <QByteArray>
#include <QString>

namespace vesk {

// Why a durable write failed, and whether the new file already stands at the path.
struct DurableWriteFailure {
    // The system's error, as a failed write.
    IoFailure reason;
    // True only when the new file was renamed into place but its folder could not be flushed: the
    // path then holds the new data, which a power cut may still undo. False: the path is as it was.
    bool renamedIntoPlace = false;
};

// Writes data to path through a temporary file beside it: every byte written and checked, the file
// flushed to the disk and its size read back, then renamed into place and its folder flushed.
// The file gets the permissions of any new file (0666 less the process's umask, which is never
// changed). On failure the temporary file is gone; see DurableWriteFailure for what is at path.
// Blocks on the disk: call it off the main thread where it can wait.
Expected<void, DurableWriteFailure> writeFileDurably(const QString& path, const QByteArray& data);

} // namespace vesk
