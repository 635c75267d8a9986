#include "platform/message.h"

#include <windows.h>

namespace qf {

void showSystemMessage(const char* title, const char* text) {
    MessageBoxA(nullptr, text ? text : "", title ? title : "", MB_OK | MB_TASKMODAL);
}

} // namespace qf
