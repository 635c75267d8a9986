// The tools nobody here wrote (image readers, markup checkers), run from the
// tests through the shell. Linux only: the Windows builds' tests do not run
// them.
#pragma once

namespace shelltools {}

#ifndef _WIN32

#include <cstdio>
#include <cstdlib>
#include <string>

namespace shelltools {

inline bool toolPresent(const char* tool) {
    const std::string probe = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

// Runs a shell command; its standard output and error, and its exit status
// in `status`.
inline std::string run(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        status = -1;
        return output;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    status = pclose(pipe);
    return output;
}

inline std::string shellQuoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace shelltools

#endif
