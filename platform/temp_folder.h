// The system's temporary folder: home of the cached settings file, the
// memory dots and their map, and the undo files.
#pragma once

#include "platform/status.h"

#include <cstddef>
#include <string>

namespace qf {

// The temporary folder with a trailing separator, at most kPathLength - 1
// characters.
// Windows: what GetTempPath reports; "C:\\Windows\\Temp\\" when it reports
// nothing or more than fits.
// Linux: TMPDIR when it is set to an absolute path of a folder the user can
// write to and search, else "/tmp/".
std::string temporaryFolder();

// Writes the temporary folder followed directly by `name` into `out`
// (`capacity` bytes including the final zero). kPlatformOk, or
// kPlatformFailed with `out` emptied when the path does not fit: a cut
// path would name another file.
int temporaryPath(const char* name, char* out, size_t capacity);

// The rule both systems share, given what the system reported (null or
// empty when it reported nothing): the reported folder with a separator
// appended when missing, or `fallback` when there is none or the result
// would not fit kPathLength characters with the final zero.
std::string temporaryFolderFrom(const char* reported, const char* fallback);

} // namespace qf
