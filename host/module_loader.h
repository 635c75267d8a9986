// Loading a filter module at run time and finding its entry point, as an
// editor does: the module is never linked in.
#pragma once

#include "host/property_list.h"
#include "plugin/host_api.h"

#include <memory>
#include <string>

namespace qf::host {

class Module {
  public:
    // Null with `error` set when the file cannot be loaded or exports no
    // PluginMain. With `walk` other than none, the module is first checked
    // as an editor checks it: on Windows its property list resource is
    // walked that way and must declare a filter and, for this architecture,
    // the entry point PluginMain; otherwise the module is refused and
    // `error` says why. Shared libraries carry no property list, so `walk`
    // is ignored on Linux.
    static std::unique_ptr<Module> load(const std::string& path, std::string* error,
                                        PropertyListWalk walk = PropertyListWalk::none);
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

} // namespace qf::host
