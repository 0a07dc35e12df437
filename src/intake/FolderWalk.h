#pragma once

#include <QByteArray>
#include <functional>
#include <sys/stat.h>

namespace vesk {

// Every entry below folder, depth first, with its name, path and status; folders are entered
// (links are not followed), a folder that cannot be listed and an entry that cannot be looked at
// are passed over. Names come as the bytes the file system keeps.
void walkBelow(const QByteArray& folder,
               const std::function<void(const QByteArray& name, const QByteArray& path, const struct stat& info)>& visit);

} // namespace vesk
