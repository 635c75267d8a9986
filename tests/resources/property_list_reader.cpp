#include "property_list_reader.h"

#include "byte_reader.h"

#include <algorithm>

namespace qf {}
using namespace qf;

namespace {

constexpr size_t kPropertyHeaderSize = 16; // vendor, key, id, length

// Up to three zero bytes: the padding after a value, counted in its length.
bool onlyPadding(std::vector<uint8_t>::const_iterator begin,
                 std::vector<uint8_t>::const_iterator end) {
    return end - begin <= 3 && std::all_of(begin, end, [](uint8_t b) { return b == 0; });
}

} // namespace

bool readPropertyList(std::span<const uint8_t> bytes, PropertyList& list, std::string& error,
                      PropertyStep step) {
    list = PropertyList{};
    ByteReader reader(bytes);
    int32_t count = 0;
    if (!reader.readU16(list.prefix) || !reader.readI32(list.version) || !reader.readI32(count)) {
        error = "property list header truncated";
        return false;
    }
    if (count < 0) {
        error = "negative property count";
        return false;
    }
    // Every property needs at least its header; refuse counts the bytes cannot hold
    // before looping over them.
    if (static_cast<size_t>(count) > reader.remaining() / kPropertyHeaderSize) {
        error = "property count " + std::to_string(count) + " larger than the resource can hold";
        return false;
    }
    for (int32_t index = 0; index < count; ++index) {
        PropertyListEntry entry;
        int32_t length = 0;
        if (!reader.readU32(entry.vendorId) || !reader.readU32(entry.key) ||
            !reader.readI32(entry.id) || !reader.readI32(length)) {
            error = "property " + std::to_string(index) + ": header truncated";
            return false;
        }
        if (length < 0) {
            error = "property " + std::to_string(index) + ": negative length";
            return false;
        }
        std::span<const uint8_t> data;
        if (!reader.readBytes(static_cast<size_t>(length), data)) {
            error = "property " + std::to_string(index) + ": data runs past the end";
            return false;
        }
        entry.storedLength = static_cast<uint32_t>(length);
        entry.data.assign(data.begin(), data.end());
        size_t padding =
            step == PropertyStep::roundedUp ? (4 - static_cast<size_t>(length) % 4) % 4 : 0;
        std::span<const uint8_t> pad;
        if (!reader.readBytes(padding, pad)) {
            error = "property " + std::to_string(index) + ": padding runs past the end";
            return false;
        }
        if (std::any_of(pad.begin(), pad.end(), [](uint8_t b) { return b != 0; })) {
            error = "property " + std::to_string(index) + ": padding is not zero";
            return false;
        }
        list.properties.push_back(std::move(entry));
    }
    if (!reader.atEnd()) {
        error = std::to_string(reader.remaining()) + " bytes after the last property";
        return false;
    }
    error.clear();
    return true;
}

std::optional<std::string> propertyPascalString(const std::vector<uint8_t>& data) {
    if (data.empty() || static_cast<size_t>(data[0]) + 1 > data.size()) return std::nullopt;
    auto end = data.begin() + 1 + data[0];
    if (!onlyPadding(end, data.end())) return std::nullopt;
    return std::string(data.begin() + 1, end);
}

std::optional<std::string> propertyCString(const std::vector<uint8_t>& data) {
    auto terminator = std::find(data.begin(), data.end(), uint8_t{0});
    if (terminator == data.end() || !onlyPadding(terminator + 1, data.end())) return std::nullopt;
    return std::string(data.begin(), terminator);
}

std::optional<uint32_t> propertyU32(const std::vector<uint8_t>& data) {
    if (data.size() != 4) return std::nullopt;
    ByteReader reader(data);
    uint32_t value = 0;
    reader.readU32(value);
    return value;
}

std::optional<TerminologyProperty> propertyTerminology(const std::vector<uint8_t>& data) {
    ByteReader reader(data);
    TerminologyProperty property;
    if (!reader.readI32(property.version) || !reader.readU32(property.classId) ||
        !reader.readU32(property.eventId) || !reader.readI16(property.resourceId)) {
        return std::nullopt;
    }
    std::span<const uint8_t> rest;
    reader.readBytes(reader.remaining(), rest);
    auto scope = propertyCString(std::vector<uint8_t>(rest.begin(), rest.end()));
    if (!scope) return std::nullopt;
    property.scope = *scope;
    return property;
}

std::optional<uint16_t> propertyModeFlags(const std::vector<uint8_t>& data) {
    if (data.size() != 2 && data.size() != 4) return std::nullopt;
    if (!onlyPadding(data.begin() + 2, data.end())) return std::nullopt;
    return static_cast<uint16_t>((data[0] << 8) | data[1]);
}

std::optional<std::vector<FilterCaseInfo>> propertyFilterCases(const std::vector<uint8_t>& data) {
    constexpr size_t kCases = 7;
    if (data.size() != kCases * 4) return std::nullopt;
    std::vector<FilterCaseInfo> cases(kCases);
    for (size_t i = 0; i < kCases; ++i) {
        cases[i].inputHandling = data[i * 4];
        cases[i].outputHandling = data[i * 4 + 1];
        cases[i].flags1 = data[i * 4 + 2];
        cases[i].flags2 = data[i * 4 + 3];
    }
    return cases;
}
