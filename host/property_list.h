// Reading a module's property list as editors do. Editors differ in how they
// step from one property to the next: some trust the stored data length,
// some round it up to a multiple of four themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qf::host {

enum class PropertyListWalk {
    none,         // the property list is not consulted
    storedLength, // next property = data + stored length
    roundedUp,    // next property = data + stored length rounded up to 4
};

// A property's four-character key or vendor id as the integer the module
// stores (most significant byte = first character).
constexpr uint32_t propertyCode(const char (&text)[5]) {
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) |
           (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}

// The vendor, keys and values a host looks for before it loads a filter.
inline constexpr uint32_t kPropertyVendor = propertyCode("8BIM");
inline constexpr uint32_t kPropertyKind = propertyCode("kind");
inline constexpr uint32_t kFilterKind = propertyCode("8BFM");
inline constexpr uint32_t kPropertyEntryPointX86 = propertyCode("wx86");
inline constexpr uint32_t kPropertyEntryPointX64 = propertyCode("8664");

struct Property {
    uint32_t vendorId = 0;
    uint32_t key = 0;
    int32_t id = 0;
    std::vector<uint8_t> data; // the stored length's bytes, whatever they hold
};

struct PropertyList {
    uint16_t prefix = 0; // the Windows resource's leading word
    int32_t version = 0;
    std::vector<Property> properties;
};

// Walks the bytes of a property list resource (Windows layout: 16-bit prefix
// word, 32-bit version, 32-bit count, then per property vendor id, key, id,
// data length, data), stepping from property to property as `walk` says.
// Every count and length is checked against the bytes at hand: a count the
// bytes cannot hold, a negative length, or a property (with the step past its
// data) that runs past the end refuses the list with the reason in `error`.
// Bytes after the last property are not looked at, as a host ignores them.
// `walk` none refuses everything.
bool walkPropertyList(const uint8_t* bytes, size_t size, PropertyListWalk walk, PropertyList& list,
                      std::string* error);

// The first property with this vendor id and key, or null.
const Property* findProperty(const PropertyList& list, uint32_t vendorId, uint32_t key);

// The text of a property that holds a C string: the bytes before the first
// zero byte. False when the data has no terminator.
bool propertyText(const Property& property, std::string& text);

// The key of the entry point property a host of this build's architecture
// reads: wx86 for 32-bit, 8664 for 64-bit code.
uint32_t entryPointPropertyKey();

// What an editor checks before it loads a filter: a kind property naming a
// filter, and an entry point property with key `entryPointKey` naming
// PluginMain, both of vendor 8BIM. False with the reason in `error` otherwise.
bool checkFilterDeclaration(const PropertyList& list, uint32_t entryPointKey, std::string* error);

// The code as four characters, for messages; unprintable bytes as '?'.
std::string propertyCodeText(uint32_t code);

} // namespace qf::host
