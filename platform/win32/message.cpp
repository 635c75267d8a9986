#include "platform/message.h"

#include <windows.h>

void showSystemMessage(const char* title, const char* text) {
    MessageBoxA(nullptr, text ? text : "", title ? title : "", MB_OK | MB_TASKMODAL);
}
