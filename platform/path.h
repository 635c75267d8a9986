// The folder separator of the system the module runs on. Folder paths the
// platform hands out (the temporary folder) end with it, so a file name is
// appended without another separator.
#pragma once

namespace qf {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// True for the separators the system accepts in a path: '/' everywhere,
// and '\\' on Windows as well.
constexpr bool isPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Paths and names are held in buffers of this many characters, the final
// zero included.
constexpr int kPathLength = 260;

} // namespace qf
