#pragma once
// Small looks at inbox entries that decide whether waiting for them can ever end.

#include <QByteArray>
#include <QString>
#include <optional>

namespace vesk {

// Why the entry at path can never be read as a file: a pipe, socket or device in its place. None
// for a regular file, a folder, a link, or nothing at all.
std::optional<QString> specialFileReason(const QString& path);

// A fingerprint of an entry and everything below it (names, kinds, sizes and times, links not
// followed): it changes when anything in the entry is added, removed, rewritten or touched.
QByteArray entryTreeStamp(const QString& path);

} // namespace vesk
