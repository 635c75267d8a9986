#include "host/property_list.h"

#include <algorithm>

namespace qf::host {

namespace {

constexpr size_t kListHeaderSize = 10;     // prefix word, version, count
constexpr size_t kPropertyHeaderSize = 16; // vendor id, key, id, data length

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool refuse(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

std::string propertyName(size_t index, uint32_t key) {
    return "property " + std::to_string(index) + " (" + propertyCodeText(key) + ")";
}

// Text from a module for a message: printable characters only, not too many.
std::string quoted(const std::string& text) {
    constexpr size_t kLongest = 64;
    std::string shown;
    for (char c : text.substr(0, kLongest)) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > kLongest) shown += "...";
    return "\"" + shown + "\"";
}

} // namespace

bool walkPropertyList(const uint8_t* bytes, size_t size, PropertyListWalk walk, PropertyList& list,
                      std::string* error) {
    list = PropertyList{}; // a refused list keeps nothing
    PropertyList found;
    if (walk == PropertyListWalk::none)
        return refuse(error, "no way of walking the property list was chosen");
    if (!bytes) size = 0;
    if (size < kListHeaderSize) return refuse(error, "the property list header is cut short");
    found.prefix = uint16_t(bytes[0] | (bytes[1] << 8));
    found.version = int32_t(readU32(bytes + 2));
    const int32_t count = int32_t(readU32(bytes + 6));
    size_t position = kListHeaderSize;
    if (count < 0) return refuse(error, "negative property count " + std::to_string(count));
    // Every property needs at least its header: refuse a count the bytes
    // cannot hold before reserving anything for it.
    if (size_t(count) > (size - position) / kPropertyHeaderSize) {
        return refuse(error, "property count " + std::to_string(count) + " is more than " +
                                 std::to_string(size) + " bytes can hold");
    }
    found.properties.reserve(size_t(count));
    for (size_t index = 0; index < size_t(count); ++index) {
        if (size - position < kPropertyHeaderSize) {
            return refuse(error, "property " + std::to_string(index) + ": header cut short");
        }
        Property property;
        property.vendorId = readU32(bytes + position);
        property.key = readU32(bytes + position + 4);
        property.id = int32_t(readU32(bytes + position + 8));
        const int32_t length = int32_t(readU32(bytes + position + 12));
        position += kPropertyHeaderSize;
        if (length < 0) {
            return refuse(error, propertyName(index, property.key) + ": negative data length " +
                                     std::to_string(length));
        }
        const size_t dataLength = size_t(length);
        if (dataLength > size - position) {
            return refuse(error, propertyName(index, property.key) + ": " +
                                     std::to_string(dataLength) +
                                     " bytes of data run past the end");
        }
        const size_t padding = walk == PropertyListWalk::roundedUp ? (4 - dataLength % 4) % 4 : 0;
        if (padding > size - position - dataLength) {
            return refuse(error, propertyName(index, property.key) + ": padding runs past the end");
        }
        property.data.assign(bytes + position, bytes + position + dataLength);
        position += dataLength + padding;
        found.properties.push_back(std::move(property));
    }
    list = std::move(found);
    if (error) error->clear();
    return true;
}

const Property* findProperty(const PropertyList& list, uint32_t vendorId, uint32_t key) {
    for (const Property& property : list.properties) {
        if (property.vendorId == vendorId && property.key == key) return &property;
    }
    return nullptr;
}

bool propertyText(const Property& property, std::string& text) {
    auto end = std::find(property.data.begin(), property.data.end(), uint8_t{0});
    if (end == property.data.end()) return false;
    text.assign(property.data.begin(), end);
    return true;
}

uint32_t entryPointPropertyKey() {
    return sizeof(void*) == 8 ? kPropertyEntryPointX64 : kPropertyEntryPointX86;
}

bool checkFilterDeclaration(const PropertyList& list, uint32_t entryPointKey, std::string* error) {
    const Property* kind = findProperty(list, kPropertyVendor, kPropertyKind);
    if (!kind) return refuse(error, "the property list declares no kind");
    if (kind->data.size() < 4) {
        return refuse(error, "the kind property holds " + std::to_string(kind->data.size()) +
                                 " bytes, not a four-character code");
    }
    const uint32_t kindCode = readU32(kind->data.data());
    if (kindCode != kFilterKind) {
        return refuse(error, "the module is of kind " + propertyCodeText(kindCode) +
                                 ", not a filter (" + propertyCodeText(kFilterKind) + ")");
    }
    const std::string entryKey = propertyCodeText(entryPointKey);
    const Property* entry = findProperty(list, kPropertyVendor, entryPointKey);
    if (!entry)
        return refuse(error, "the property list names no entry point for " + entryKey + " hosts");
    std::string name;
    if (!propertyText(*entry, name)) {
        return refuse(error, "the " + entryKey + " entry point property holds no terminated name");
    }
    if (name != "PluginMain") {
        return refuse(error, "the " + entryKey + " entry point property names " + quoted(name) +
                                 ", not \"PluginMain\"");
    }
    if (error) error->clear();
    return true;
}

std::string propertyCodeText(uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

} // namespace qf::host
