#include "host/module_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace qf::host {

#ifdef _WIN32
namespace {

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
    UINT codePage = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    if (n <= 0) { // not UTF-8: take it as the system code page
        codePage = CP_ACP;
        flags = 0;
        n = MultiByteToWideChar(codePage, flags, s.data(), int(s.size()), nullptr, 0);
        if (n <= 0) return std::wstring();
    }
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(codePage, flags, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string systemMessage(DWORD code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Walks the loaded module's property list resource and checks that it
// declares a filter with this architecture's entry point.
bool checkPropertyList(HMODULE lib, PropertyListWalk walk, std::string* error) {
    constexpr int kPropertyListId = 16000;
    HRSRC found = FindResourceA(lib, MAKEINTRESOURCEA(kPropertyListId), "PiPL");
    HGLOBAL loaded = found ? LoadResource(lib, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        if (error)
            *error = "the module has no property list (PiPL resource " +
                     std::to_string(kPropertyListId) + ")";
        return false;
    }
    PropertyList list;
    std::string why;
    if (!walkPropertyList(static_cast<const uint8_t*>(bytes), SizeofResource(lib, found), walk,
                          list, &why) ||
        !checkFilterDeclaration(list, entryPointPropertyKey(), &why)) {
        if (error) *error = "the module's property list is refused: " + why;
        return false;
    }
    return true;
}

} // namespace
#endif

std::unique_ptr<Module> Module::load(const std::string& path, std::string* error,
                                     PropertyListWalk walk) {
    std::unique_ptr<Module> m(new Module);
    m->path_ = path;
#ifdef _WIN32
    std::wstring wpath = widen(path);
    // No system message boxes for a missing file or dependency. With a full
    // path, the module's own folder is searched for its dependencies first.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const bool fullPath =
        wpath.size() > 2 && (wpath[1] == L':' || (wpath[0] == L'\\' && wpath[1] == L'\\'));
    HMODULE lib = wpath.empty() ? nullptr
                                : LoadLibraryExW(wpath.c_str(), nullptr,
                                                 fullPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    DWORD code = GetLastError();
    SetErrorMode(oldMode);
    if (!lib) {
        if (error) {
            // The system says "module not found" also when the file is there
            // but a library it needs is not.
            const bool present =
                !wpath.empty() && GetFileAttributesW(wpath.c_str()) != INVALID_FILE_ATTRIBUTES;
            *error = code == ERROR_MOD_NOT_FOUND && present
                         ? "a library it depends on cannot be found"
                         : systemMessage(code);
        }
        return nullptr;
    }
    m->library_ = lib;
    if (walk != PropertyListWalk::none && !checkPropertyList(lib, walk, error)) return nullptr;
    m->entry_ = reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<void*>(GetProcAddress(lib, "PluginMain")));
#else
    (void)walk; // shared libraries carry no property list
    // A bare name would be looked up on the library path: make it a path.
    std::string p = path.find('/') == std::string::npos ? "./" + path : path;
    void* lib = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        if (error) *error = why ? why : "cannot load";
        return nullptr;
    }
    m->library_ = lib;
    m->entry_ = reinterpret_cast<PluginEntryProc>(dlsym(lib, "PluginMain"));
#endif
    if (!m->entry_) {
        if (error) *error = "the module exports no PluginMain";
        return nullptr; // the destructor unloads it
    }
    return m;
}

Module::~Module() {
    if (!library_) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(library_));
#else
    dlclose(library_);
#endif
}

const char* moduleFileName() {
#ifdef _WIN32
    return sizeof(void*) == 8 ? "Quillfire64.8bf" : "Quillfire.8bf";
#else
    return "quillfire.so";
#endif
}

std::string executableFolder() {
#ifdef _WIN32
    std::vector<wchar_t> buf(32768);
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0 || n >= buf.size()) return std::string();
    std::wstring w(buf.data(), n);
    size_t cut = w.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return std::string();
    w.resize(cut + 1);
    int len =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    if (len <= 0) return std::string();
    std::string s(size_t(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), len, nullptr, nullptr);
    return s;
#else
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return std::string();
    std::string s(buf.data(), size_t(n));
    size_t cut = s.find_last_of('/');
    if (cut == std::string::npos) return std::string();
    s.resize(cut + 1);
    return s;
#endif
}

} // namespace qf::host
