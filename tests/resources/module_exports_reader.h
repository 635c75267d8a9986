// Reader of the export table of a PE module (.8bf, .dll) from the bytes of
// the file: which machine it is built for and which names it exports. Every
// offset, count and name is checked against the file; anything that does not
// fit fails the read with a message.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

struct ModuleExport {
    std::string name;
    uint16_t ordinalIndex = 0; // index into the function table
    uint32_t address = 0;      // relative virtual address of the function
    bool inExecutableSection = false;
    bool forwarded = false; // the address points back into the export table
};

struct ModuleExports {
    uint16_t machine = 0;       // 0x014C x86, 0x8664 x64
    bool pe32Plus = false;      // 64-bit optional header
    std::string moduleName;     // the name the export table gives the module
    uint32_t functionCount = 0; // entries of the function table, named or not
    std::vector<ModuleExport> named;
};

bool readModuleExports(std::span<const uint8_t> file, ModuleExports& exports, std::string& error);
