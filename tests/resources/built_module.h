// The module under test (QF_MODULE), opened the way a host scans plug-ins
// before it loads one: as a data file, so no code of the module runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

// Path of the built module, from the environment; empty when not set.
std::string builtModulePath();

// The whole file.
std::optional<std::vector<uint8_t>> readBuiltModuleFile();

class BuiltModule {
  public:
    BuiltModule();
    ~BuiltModule();
    BuiltModule(const BuiltModule&) = delete;
    BuiltModule& operator=(const BuiltModule&) = delete;

    bool isOpen() const { return module_ != nullptr; }
    // A copy of the resource of this type (a name such as "PiPL") and id;
    // nothing when it is missing.
    std::optional<std::vector<uint8_t>> resource(const char* type, int id) const;
    std::optional<std::vector<uint8_t>> resource(const char* type, const char* name) const;

  private:
    void* module_ = nullptr;
};
