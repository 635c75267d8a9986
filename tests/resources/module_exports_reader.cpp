#include "module_exports_reader.h"

#include "byte_reader.h"

#include <optional>

namespace qf {}
using namespace qf;

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSectionExecutable = 0x20000000; // IMAGE_SCN_MEM_EXECUTE
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kExportDirectorySize = 40;
constexpr size_t kLongestName = 1024;

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    uint32_t characteristics = 0;
};

class PeFile {
  public:
    explicit PeFile(std::span<const uint8_t> file) : file_(file) {}

    std::span<const uint8_t> file() const { return file_; }
    std::vector<Section>& sections() { return sections_; }

    // The file bytes behind [rva, rva + size), when one section holds all of them.
    std::optional<std::span<const uint8_t>> at(uint32_t rva, uint64_t size) const {
        for (const Section& section : sections_) {
            if (rva < section.virtualAddress) continue;
            uint64_t into = static_cast<uint64_t>(rva) - section.virtualAddress;
            if (into >= section.rawSize || size > section.rawSize - into) continue;
            uint64_t offset = section.rawOffset + into;
            if (offset > file_.size() || size > file_.size() - offset) return std::nullopt;
            return file_.subspan(static_cast<size_t>(offset), static_cast<size_t>(size));
        }
        return std::nullopt;
    }

    // A NUL-terminated name at rva, within its section and at most kLongestName long.
    std::optional<std::string> nameAt(uint32_t rva) const {
        for (uint64_t length = 0; length <= kLongestName; ++length) {
            if (rva + length > UINT32_MAX) return std::nullopt;
            auto byte = at(static_cast<uint32_t>(rva + length), 1);
            if (!byte) return std::nullopt;
            if ((*byte)[0] == 0) {
                auto bytes = at(rva, length);
                if (!bytes) return std::nullopt;
                return std::string(bytes->begin(), bytes->end());
            }
        }
        return std::nullopt;
    }

    bool isExecutable(uint32_t rva) const {
        for (const Section& section : sections_) {
            if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize)
                return (section.characteristics & kSectionExecutable) != 0;
        }
        return false;
    }

  private:
    std::span<const uint8_t> file_;
    std::vector<Section> sections_;
};

uint32_t u32At(std::span<const uint8_t> bytes, size_t offset) {
    ByteReader reader(bytes);
    uint32_t value = 0;
    if (reader.skip(offset)) reader.readU32(value);
    return value;
}

} // namespace

bool readModuleExports(std::span<const uint8_t> file, ModuleExports& exports, std::string& error) {
    exports = ModuleExports{};
    PeFile pe(file);

    // DOS header: "MZ" and, at 0x3C, the offset of the PE header.
    ByteReader dos(file);
    uint16_t mz = 0;
    uint32_t peOffset = 0;
    if (!dos.readU16(mz) || mz != 0x5A4D || !dos.skip(0x3C - 2) || !dos.readU32(peOffset)) {
        error = "not an MZ file";
        return false;
    }
    ByteReader header(file);
    uint32_t signature = 0;
    uint16_t sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
    if (!header.skip(peOffset) || !header.readU32(signature) || signature != 0x00004550) {
        error = "no PE signature";
        return false;
    }
    if (!header.readU16(exports.machine) || !header.readU16(sectionCount) || !header.skip(12) ||
        !header.readU16(optionalSize) || !header.readU16(characteristics)) {
        error = "file header truncated";
        return false;
    }
    size_t optionalStart = header.position();
    std::span<const uint8_t> optional;
    if (!header.readBytes(optionalSize, optional)) {
        error = "optional header truncated";
        return false;
    }
    ByteReader optionalReader(optional);
    if (!optionalReader.readU16(magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) {
        error = "unknown optional header";
        return false;
    }
    exports.pe32Plus = magic == kPe32PlusMagic;
    size_t directoryCountOffset = exports.pe32Plus ? 108 : 92;
    if (optional.size() < directoryCountOffset + 4) {
        error = "optional header too short for its data directories";
        return false;
    }
    uint32_t directoryCount = u32At(optional, directoryCountOffset);
    size_t directoriesOffset = directoryCountOffset + 4;

    // Section table, right after the optional header.
    ByteReader sectionReader(file);
    if (!sectionReader.skip(optionalStart + optionalSize)) {
        error = "section table missing";
        return false;
    }
    if (sectionCount > sectionReader.remaining() / kSectionHeaderSize) {
        error = "section table truncated";
        return false;
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        std::span<const uint8_t> raw;
        sectionReader.readBytes(kSectionHeaderSize, raw);
        Section section;
        section.virtualAddress = u32At(raw, 12);
        section.rawSize = u32At(raw, 16);
        section.rawOffset = u32At(raw, 20);
        section.characteristics = u32At(raw, 36);
        pe.sections().push_back(section);
    }

    // Data directory 0: the export table. A module may export nothing.
    if (directoryCount < 1 || optional.size() < directoriesOffset + 8) {
        error.clear();
        return true;
    }
    uint32_t exportRva = u32At(optional, directoriesOffset);
    uint32_t exportSize = u32At(optional, directoriesOffset + 4);
    if (exportRva == 0 && exportSize == 0) {
        error.clear();
        return true;
    }
    auto directory = pe.at(exportRva, kExportDirectorySize);
    if (!directory) {
        error = "export directory outside the file";
        return false;
    }
    uint32_t nameRva = u32At(*directory, 12);
    exports.functionCount = u32At(*directory, 20);
    uint32_t nameCount = u32At(*directory, 24);
    uint32_t functionsRva = u32At(*directory, 28);
    uint32_t namesRva = u32At(*directory, 32);
    uint32_t ordinalsRva = u32At(*directory, 36);

    auto moduleName = pe.nameAt(nameRva);
    if (!moduleName) {
        error = "module name outside the file";
        return false;
    }
    exports.moduleName = *moduleName;
    auto functions = pe.at(functionsRva, static_cast<uint64_t>(exports.functionCount) * 4);
    auto names = pe.at(namesRva, static_cast<uint64_t>(nameCount) * 4);
    auto ordinals = pe.at(ordinalsRva, static_cast<uint64_t>(nameCount) * 2);
    if (!functions || !names || !ordinals) {
        error = "export tables outside the file";
        return false;
    }
    for (uint32_t i = 0; i < nameCount; ++i) {
        ModuleExport entry;
        auto name = pe.nameAt(u32At(*names, i * 4));
        if (!name) {
            error = "export name " + std::to_string(i) + " outside the file";
            return false;
        }
        entry.name = *name;
        entry.ordinalIndex =
            static_cast<uint16_t>((*ordinals)[i * 2] | ((*ordinals)[i * 2 + 1] << 8));
        if (entry.ordinalIndex >= exports.functionCount) {
            error = "export '" + entry.name + "' has no function";
            return false;
        }
        entry.address = u32At(*functions, static_cast<size_t>(entry.ordinalIndex) * 4);
        entry.forwarded =
            entry.address >= exportRva &&
            static_cast<uint64_t>(entry.address) < static_cast<uint64_t>(exportRva) + exportSize;
        entry.inExecutableSection = pe.isExecutable(entry.address);
        exports.named.push_back(std::move(entry));
    }
    error.clear();
    return true;
}
