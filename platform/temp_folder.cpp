#include "platform/temp_folder.h"

#include "platform/path.h"

#include <cstring>

namespace qf {

std::string temporaryFolderFrom(const char* reported, const char* fallback) {
    if (!reported || !*reported) return fallback;
    std::string folder(reported);
    if (!isPathSeparator(folder.back())) folder.push_back(kPathSeparator);
    if (folder.size() >= static_cast<size_t>(kPathLength)) return fallback;
    return folder;
}

int temporaryPath(const char* name, char* out, size_t capacity) {
    if (!out || capacity == 0) return kPlatformFailed;
    out[0] = '\0';
    if (!name) return kPlatformFailed;
    const std::string folder = temporaryFolder();
    const size_t folderLength = folder.size();
    const size_t nameLength = std::strlen(name);
    if (folderLength + nameLength + 1 > capacity) return kPlatformFailed;
    std::memcpy(out, folder.data(), folderLength);
    std::memcpy(out + folderLength, name, nameLength + 1);
    return kPlatformOk;
}

} // namespace qf
