#include "intake/FolderWalk.h"

#include <dirent.h>

namespace vesk {

void walkBelow(const QByteArray& folder,
               const std::function<void(const QByteArray& name, const QByteArray& path, const struct stat& info)>& visit)
{
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0)
            continue;
        visit(name, path, info);
        if (S_ISDIR(info.st_mode))
            walkBelow(path, visit);
    }
    ::closedir(listing);
}

} // namespace vesk
