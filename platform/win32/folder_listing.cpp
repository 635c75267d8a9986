#include "platform/folder_listing.h"

#include "platform/file.h"
#include "platform/path.h"

#include <windows.h>
#include <algorithm>
#include <new>

namespace qf {

namespace {

struct FindHandle {
    HANDLE handle;
    ~FindHandle() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

} // namespace

int listFolder(const char* folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    if (!folder || !*folder) return kFileCannotOpen;
    try {
        std::string pattern(folder);
        if (!isPathSeparator(pattern.back())) pattern.push_back(kPathSeparator);
        pattern += '*';
        WIN32_FIND_DATAA found;
        FindHandle find{FindFirstFileA(pattern.c_str(), &found)};
        if (find.handle == INVALID_HANDLE_VALUE) {
            // Nothing found is only fine for an existing, empty folder (a
            // drive's root has no "." and "..").
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesA(folder);
            const bool emptyFolder = error == ERROR_FILE_NOT_FOUND &&
                                     attributes != INVALID_FILE_ATTRIBUTES &&
                                     (attributes & FILE_ATTRIBUTE_DIRECTORY);
            return emptyFolder ? kFileOk : kFileCannotOpen;
        }
        do {
            const std::string_view name(found.cFileName);
            if (name == "." || name == "..") continue;
            FolderEntry entry;
            entry.name.assign(name);
            entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.isReadOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
            entries.push_back(std::move(entry));
        } while (FindNextFileA(find.handle, &found));
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
