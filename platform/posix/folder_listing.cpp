#include "platform/folder_listing.h"

#include "platform/file.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

int listFolder(const char* folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    if (!folder || !*folder) return kFileCannotOpen;
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return kFileCannotOpen;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return kFileCannotOpen;
    }
    try {
        while (const dirent* item = ::readdir(dir.get())) {
            const std::string_view name(item->d_name);
            if (name == "." || name == "..") continue;
            struct stat info;
            if (::fstatat(fd, item->d_name, &info, 0) != 0) continue; // vanished or dangling
            FolderEntry entry;
            entry.name.assign(name);
            entry.isFolder = S_ISDIR(info.st_mode);
            entry.isReadOnly = ::faccessat(fd, item->d_name, W_OK, AT_EACCESS) != 0;
            entries.push_back(std::move(entry));
        }
        std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
            return nameLess(a.name, b.name);
        });
    } catch (const std::bad_alloc&) {
        entries.clear();
        return kFileCannotOpen;
    }
    return kFileOk;
}

} // namespace qf
