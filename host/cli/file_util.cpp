#include "host/cli/file_util.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

namespace cli {
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
    FILE* f = openFile(path, true);
    if (!f) {
        error = "cannot create '" + path + "': " + lastError();
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) error = "cannot write '" + path + "': " + lastError();
    return ok;
}

bool fileExists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
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

bool renameReplacing(const std::string& from, const std::string& to, std::string& error) {
#ifdef _WIN32
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = "cannot replace '" + to + "' (system error " + std::to_string(GetLastError()) + ")";
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = "cannot replace '" + to + "': " + lastError();
    return false;
#endif
}

void removeFile(const std::string& path) {
#ifdef _WIN32
    DeleteFileW(widen(path).c_str());
#else
    ::unlink(path.c_str());
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

std::string temporaryPathBeside(const std::string& path) {
    const std::string folder = folderOf(path);
    std::string name = path.substr(folder.size());
    const std::string ext = extensionOf(name);
    std::string stem = name.substr(0, name.size() - ext.size());
#ifdef _WIN32
    const long pid = long(_getpid());
#else
    const long pid = long(::getpid());
#endif
    return folder + "." + stem + ".quillfire-" + std::to_string(pid) + ext;
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(2) != 0;
#endif
}

} // namespace cli

namespace cli {

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

} // namespace cli
