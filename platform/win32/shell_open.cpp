#include "platform/shell_open.h"

#include <windows.h>

#include <shellapi.h>

namespace qf {

int shellOpen(const char* target) {
    if (!target || !*target) return kPlatformFailed;
    const HINSTANCE result =
        ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
    // Values above 32 mean success.
    return reinterpret_cast<INT_PTR>(result) > 32 ? kPlatformOk : kPlatformFailed;
}

} // namespace qf
