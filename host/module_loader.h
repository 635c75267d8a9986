// Loading a filter module at run time and finding its entry point, as an
// editor does: the module is never linked in.
#pragma once

#include "plugin/host_api.h"

#include <memory>
#include <string>

namespace host {

class Module {
public:
    // Null with `error` set when the file cannot be loaded or exports no
    // PluginMain.
    static std::unique_ptr<Module> load(const std::string& path, std::string* error);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    PluginEntryProc entry() const { return entry_; }
    const std::string& path() const { return path_; }

private:
    Module() = default;
    void* library_ = nullptr;
    PluginEntryProc entry_ = nullptr;
    std::string path_;
};

// File name of our module on this platform: quillfire.so, Quillfire.8bf
// (32-bit Windows) or Quillfire64.8bf (64-bit Windows).
const char* moduleFileName();

// Folder of the running program, with a trailing separator; empty when the
// system does not tell.
std::string executableFolder();

} // namespace host
