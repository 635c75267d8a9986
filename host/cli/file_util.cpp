#include "host/cli/file_util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf::cli {
namespace {

#ifdef _WIN32
std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}
#endif

FILE* openFile(const std::string& path, bool write) {
#ifdef _WIN32
    return _wfopen(widen(path).c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

std::string lastError() {
    return std::strerror(errno);
}

} // namespace

bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes) {
    if (isDirectory(path)) {
        error = "'" + path + "' is a folder";
        return false;
    }
    FILE* f = openFile(path, false);
    if (!f) {
        error = "cannot open '" + path + "': " + lastError();
        return false;
    }
    out.clear();
    uint8_t chunk[1 << 16];
    size_t n;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (out.size() + n > maxBytes) {
            error = "'" + path + "' is too large";
            ok = false;
            break;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
    if (ok && std::ferror(f)) {
        error = "cannot read '" + path + "': " + lastError();
        ok = false;
    }
    std::fclose(f);
    return ok;
}

bool writeFileBytes(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    SafeWrite out;
    if (!openOutput(out, path, error)) return false;
    if (out.write(data, size) != kFileOk) {
        error = writeFailure(out, path);
        return false;
    }
    return commitOutput(out, path, error);
}

bool openOutput(SafeWrite& out, const std::string& path, std::string& error) {
    if (isDirectory(path)) {
        error = "'" + path + "' is a folder";
        return false;
    }
    const std::string folder = folderOf(path);
    if (!folder.empty() && !isDirectory(folder)) {
        error = "cannot write '" + path + "': the folder does not exist";
        return false;
    }
    if (out.open(path.c_str(), kSafeWriteUtf8Path) == kFileOk) return true;
    error = writeFailure(out, path);
    return false;
}

bool commitOutput(SafeWrite& out, const std::string& path, std::string& error) {
    if (out.commit() == kFileOk) return true;
    error = writeFailure(out, path);
    return false;
}

std::string writeFailure(const SafeWrite& out, const std::string& path) {
    if (out.error() == kSafeWriteNotRegular)
        return "cannot write '" + path + "': it is not a regular file (a folder, pipe or device)";
    std::string text = "cannot write '" + path + "': " + safeWriteErrorText(out.error());
    const int code = out.systemError();
    const bool own = out.error() == kSafeWriteNoSpace || out.error() == kSafeWriteTooLarge ||
                     out.error() == kSafeWriteInterrupted;
    if (code != 0 && !own) {
#ifdef _WIN32
        text += " (system error " + std::to_string(code) + ")";
#else
        text += std::string(" (") + std::strerror(code) + ")";
#endif
    }
    return text;
}

bool fileExists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
#endif
}

int64_t fileSize(const std::string& path) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
#endif
}

bool isDirectory(const std::string& path) {
#ifdef _WIN32
    DWORD a = GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

std::string folderOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string extensionOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(2) != 0;
#endif
}

} // namespace qf::cli

namespace qf::cli {

std::string absolutePath(const std::string& path) {
#ifdef _WIN32
    char buffer[4096];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : path;
#else
    if (!path.empty() && path[0] == '/') return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return path;
    return std::string(buffer) + "/" + path;
#endif
}

} // namespace qf::cli
