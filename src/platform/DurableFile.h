#pragma once
// Writing a whole file that something will then name (a row, an import): QSaveFile buffers small
// writes and can report a commit whose buffered bytes the disk refused, and never flushes the file
// to the disk, so a full disk or a power cut could leave an empty or partial file in its place.

#include "platform/Expected.h"
#include "platform/IoFailure.h"

#include <QByteArray>
#include <QString>

namespace vesk {

// Writes data to path through a temporary file beside it: every byte written and checked, the file
// flushed to the disk and its size read back, then renamed into place and its folder flushed.
// On failure the temporary file is gone and path is as it was; the error is the system's, as a
// failed write.
Expected<void, IoFailure> writeFileDurably(const QString& path, const QByteArray& data);

} // namespace vesk
