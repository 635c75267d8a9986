// The few file operations the command-line tool needs beyond the image
// libraries, with UTF-8 paths on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/safe_write.h"

namespace qf::cli {

// Whole file into memory; false with a one-line reason on failure or when the
// file is larger than `maxBytes`.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes = uint64_t(1) << 31);
// The whole file written through SafeWrite: it appears only once complete.
bool writeFileBytes(const std::string& path, const uint8_t* data, size_t size, std::string& error);

// SafeWrite::open with the CLI's UTF-8 paths; false with one line in
// `error` ("'x' is not a regular file", ...).
bool openOutput(SafeWrite& out, const std::string& path, std::string& error);
// Commits, or names the failure in `error`.
bool commitOutput(SafeWrite& out, const std::string& path, std::string& error);
// One line about a failed safe write of `path`: "cannot write 'x.png': no
// space left on the disk".
std::string writeFailure(const SafeWrite& out, const std::string& path);

bool fileExists(const std::string& path);
// Size in bytes, or -1 when there is no such file.
int64_t fileSize(const std::string& path);
bool isDirectory(const std::string& path);

// Lower-case extension with its dot (".png"), or empty.
std::string extensionOf(const std::string& path);
// Folder part of a path (empty for a bare name).
std::string folderOf(const std::string& path);

bool stderrIsTerminal();
// The path made absolute against the current folder (as it stands when
// it is already absolute).
std::string absolutePath(const std::string& path);

} // namespace qf::cli
