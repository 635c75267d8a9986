#include "platform/safe_write.h"

namespace qf {

const char* safeWriteErrorText(int error) {
    switch (error) {
    case kSafeWriteOk:
        return "no error";
    case kSafeWriteNotRegular:
        return "not a regular file";
    case kSafeWriteCannotCreate:
        return "cannot create a file in its folder";
    case kSafeWriteNoSpace:
        return "no space left on the disk";
    case kSafeWriteTooLarge:
        return "file too large";
    case kSafeWriteInterrupted:
        return "interrupted";
    case kSafeWriteCannotReplace:
        return "cannot replace the existing file";
    case kSafeWriteNotOpen:
        return "no file open";
    default:
        return "write error";
    }
}

} // namespace qf
