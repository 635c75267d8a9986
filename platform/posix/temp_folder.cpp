#include "platform/temp_folder.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

std::string temporaryFolder() {
    const char* reported = std::getenv("TMPDIR");
    struct stat info;
    const bool usable = reported && reported[0] == '/' && ::stat(reported, &info) == 0 &&
                        S_ISDIR(info.st_mode) && ::access(reported, W_OK | X_OK) == 0;
    return temporaryFolderFrom(usable ? reported : nullptr, "/tmp/");
}

} // namespace qf
