#include "platform/processor_count.h"

#include <windows.h>

namespace qf {

int processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const int count = static_cast<int>(info.dwNumberOfProcessors);
    return count > 0 ? count : 1;
}

} // namespace qf
