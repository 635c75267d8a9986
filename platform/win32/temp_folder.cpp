#include "platform/temp_folder.h"

#include "platform/path.h"

#include <windows.h>

namespace qf {

std::string temporaryFolder() {
    char reported[MAX_PATH + 2];
    const DWORD length = GetTempPathA(sizeof reported, reported);
    // 0: the system reports none; more than the buffer: it does not fit.
    const bool usable = length > 0 && length < sizeof reported;
    return temporaryFolderFrom(usable ? reported : nullptr, "C:\\Windows\\Temp\\");
}

} // namespace qf
