// The real module for the host's end-to-end tests: where the build put it,
// and a temporary folder of its own, emptied before every run, so that the
// files the module keeps between runs (the last-used settings) never carry
// one run's settings into the next.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/common/test_paths.h"

namespace qf {}
using namespace qf;

namespace hosttest {

using qftest::nativePath;

inline std::string realModulePath() {
    if (const char* p = std::getenv("QF_MODULE"); p && *p) return nativePath(p);
#ifdef QF_DEFAULT_MODULE
    return nativePath(QF_DEFAULT_MODULE);
#else
    return std::string();
#endif
}

// The process's temporary folder setting, where the module looks for its
// files: TMPDIR on Linux; TMP and TEMP on Windows, read by GetTempPath at
// every query.
#ifdef _WIN32
constexpr const char* kTemporaryFolderVariables[] = {"TMP", "TEMP"};
#else
constexpr const char* kTemporaryFolderVariables[] = {"TMPDIR"};
#endif

inline void setVariable(const char* name, const std::string* value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

inline bool getVariable(const char* name, std::string& value) {
#ifdef _WIN32
    char buffer[1024];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    value.assign(buffer, n);
    return true;
#else
    const char* v = std::getenv(name);
    if (!v) return false;
    value = v;
    return true;
#endif
}

// While it lives, the process's temporary folder is `name` under the
// suite's temporary folder, made empty by every fresh() call; the previous
// setting comes back afterwards.
class PrivateTemporaryFolder {
  public:
    explicit PrivateTemporaryFolder(std::string name)
        : folder_(qftest::suiteTemporaryFolder("host") / name) {
        for (size_t i = 0; i < std::size(kTemporaryFolderVariables); ++i)
            had_[i] = getVariable(kTemporaryFolderVariables[i], previous_[i]);
    }
    ~PrivateTemporaryFolder() {
        for (size_t i = 0; i < std::size(kTemporaryFolderVariables); ++i)
            setVariable(kTemporaryFolderVariables[i], had_[i] ? &previous_[i] : nullptr);
    }
    PrivateTemporaryFolder(const PrivateTemporaryFolder&) = delete;
    PrivateTemporaryFolder& operator=(const PrivateTemporaryFolder&) = delete;

    // Empties the folder (making it when missing) and makes it the
    // temporary folder. The path with a trailing separator; empty when the
    // folder cannot be made.
    std::string fresh() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        std::filesystem::create_directories(folder_, ec);
        if (ec || !std::filesystem::is_directory(folder_)) return std::string();
        std::string path = folder_.string();
        const char separator = std::filesystem::path::preferred_separator;
        if (path.back() != separator) path += separator;
        for (const char* name : kTemporaryFolderVariables) setVariable(name, &path);
        return path;
    }

  private:
    std::filesystem::path folder_;
    std::string previous_[std::size(kTemporaryFolderVariables)];
    bool had_[std::size(kTemporaryFolderVariables)] = {};
};

// Files in a folder (0 when it cannot be listed).
inline int filesIn(const std::string& folder) {
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

} // namespace hosttest
