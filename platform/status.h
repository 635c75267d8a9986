// Status codes of the platform services other than files (files keep the
// system's own file codes, see file.h). Every platform call reports through
// these; nothing in platform/ throws.
#pragma once

namespace qf {

enum PlatformStatus : int {
    kPlatformOk = 0,
    // The operating system refused: a thread, event or process could not be
    // made, an argument was out of range, a wait failed.
    kPlatformFailed = -1,
    // A wait with a time-out ended without the awaited signal.
    kPlatformTimedOut = 1,
};

} // namespace qf
