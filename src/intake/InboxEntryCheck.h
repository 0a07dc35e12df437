#pragma once
// Small looks at inbox entries that decide whether waiting for them can ever end. An entry is
// walked by the bytes of its names, so a name that is not UTF-8 is seen like any other.

#include "platform/OpenFileWriters.h"

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>
#include <optional>

namespace vesk {

// Why the entry at path can never be read as a file: a pipe, socket or device in its place. None
// for a regular file, a folder, a link, or nothing at all.
std::optional<QString> specialFileReason(const QString& path);

// A fingerprint of an entry and everything below it (names, kinds, sizes, modification and change
// times, links not followed): it changes when anything in the entry is added, removed, rewritten
// or touched, even when a writer sets the modification time back.
QByteArray entryTreeStamp(const QByteArray& nativePath);
inline QByteArray entryTreeStamp(const QString& path) { return entryTreeStamp(QFile::encodeName(path)); }

// The identities of the regular files of an entry: the file itself, or every one below a folder
// (links not followed).
QSet<FileIdentity> entryFileIdentities(const QByteArray& nativePath);

// True when the name's bytes are not UTF-8 text: as a text the name is not the same file name.
bool isUndecodableName(const QByteArray& name);
// The first name in an entry (its own last one, or any below it) that is not UTF-8 text, as it
// reads in Latin-1; none when every name is text.
std::optional<QString> firstUndecodableName(const QByteArray& nativePath);

} // namespace vesk
