#pragma once
// Which files below a folder some process holds open for writing, as far as this user may look:
// the open files of every process whose /proc/<pid>/fd can be read, with the access mode their
// fdinfo gives. A process of another user, or one hidden from this one, is not seen.

#include <QSet>
#include <QString>

namespace vesk {

// The paths, relative to folder, of the files at or below it held open for writing (write-only
// or read-write). Each open file's link is read, never followed, so a file system that does not
// answer cannot hold this up.
QSet<QString> filesOpenForWriting(const QString& folder);

} // namespace vesk
