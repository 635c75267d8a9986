#include "built_module.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qf {}
using namespace qf;

std::string builtModulePath() {
    const char* path = std::getenv("QF_MODULE");
    return path ? std::string(path) : std::string();
}

std::optional<std::vector<uint8_t>> readBuiltModuleFile() {
    std::string path = builtModulePath();
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

BuiltModule::BuiltModule() {
    std::string path = builtModulePath();
    if (path.empty()) return;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    module_ = module;
}

BuiltModule::~BuiltModule() {
    if (module_) FreeLibrary(static_cast<HMODULE>(module_));
}

std::optional<std::vector<uint8_t>> BuiltModule::resource(const char* type, int id) const {
    return resource(type, MAKEINTRESOURCEA(id));
}

std::optional<std::vector<uint8_t>> BuiltModule::resource(const char* type,
                                                          const char* name) const {
    if (!module_) return std::nullopt;
    HMODULE module = static_cast<HMODULE>(module_);
    HRSRC found = FindResourceA(module, name, type);
    if (!found) return std::nullopt;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return std::nullopt;
    const void* data = LockResource(loaded);
    if (!data && size != 0) return std::nullopt;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}
