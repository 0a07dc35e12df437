#pragma once
// Which files some process holds open for writing, as far as this user may look: the open files
// of every process whose /proc/<pid>/fd can be read, with the access mode their fdinfo gives. A
// process of another user, or one hidden from this one, is not seen. Files are known by device
// and inode, so a file written under another name (a hard link, a name since removed) is found
// too.

#include <QByteArray>
#include <QHashFunctions>
#include <QSet>
#include <QString>
#include <optional>

namespace vesk {

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

inline size_t qHash(const FileIdentity& identity, size_t seed = 0)
{
    return qHashMulti(seed, identity.device, identity.inode);
}

// The identity of the entry at a path given as the file system's bytes (a symbolic link is not
// followed); none when nothing is there.
std::optional<FileIdentity> fileIdentity(const QByteArray& nativePath);

// Of the files asked about, those held open for writing (write-only or read-write) under any
// name. Each open file's link is read; only one whose inode number is asked about is looked at
// further, and then without a round trip to the file system that holds it (a network or user
// space file system that does not answer cannot hold this up).
QSet<FileIdentity> filesOpenForWriting(const QSet<FileIdentity>& files);
// The same for files held open in any way, for reading too.
QSet<FileIdentity> filesOpen(const QSet<FileIdentity>& files);

} // namespace vesk
