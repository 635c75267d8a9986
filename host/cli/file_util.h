// The few file operations the command-line tool needs beyond the image
// libraries, with UTF-8 paths on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace cli {

// Whole file into memory; false with a one-line reason on failure or when the
// file is larger than `maxBytes`.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes = uint64_t(1) << 31);
bool writeFileBytes(const std::string& path, const uint8_t* data, size_t size, std::string& error);

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// Replaces `to` if it exists.
bool renameReplacing(const std::string& from, const std::string& to, std::string& error);
void removeFile(const std::string& path);

// A name for a temporary file in the same folder as `path`, keeping its
// extension so that format detection by extension still works.
std::string temporaryPathBeside(const std::string& path);

// Lower-case extension with its dot (".png"), or empty.
std::string extensionOf(const std::string& path);
// Folder part of a path (empty for a bare name).
std::string folderOf(const std::string& path);

bool stderrIsTerminal();
// The path made absolute against the current folder (as it stands when
// it is already absolute).
std::string absolutePath(const std::string& path);

} // namespace cli
