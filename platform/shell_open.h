// Opening a document or web address the way the user's desktop does.
#pragma once

#include "platform/status.h"

namespace qf {

// Hands `target` (a file path or a URL) to the system's "open" verb:
// ShellExecute on Windows, xdg-open (found on PATH, run without a shell)
// on Linux. Returns without waiting for the opened program.
// kPlatformOk when the opener was started; kPlatformFailed when `target`
// is empty or the opener could not be started.
int shellOpen(const char* target);

} // namespace qf
