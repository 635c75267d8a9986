// Reader of a Windows property list (PiPL) resource, as a host reads it to
// find, name and enable a plug-in. Nothing is trusted: every count, length
// and string is checked against the bytes at hand, and anything that does not
// fit fails the read with a message instead of reading past the end.
//
// Layout, all integers little-endian: a 16-bit prefix word (1 on Windows),
// the 32-bit list version, the 32-bit property count, then per property the
// vendor id, the property key, the 32-bit property id, the 32-bit data length,
// the data and zero padding to a multiple of four bytes. Hosts step from one
// property to the next either by the stored length or by the stored length
// rounded up to four; this reader does either.
//
// The stored length may count the padding: the decoders below accept the
// value followed by up to three zero bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

struct PropertyListEntry {
    uint32_t vendorId = 0;
    uint32_t key = 0;
    int32_t id = 0;
    uint32_t storedLength = 0;
    std::vector<uint8_t> data; // exactly the stored length
};

// How a host finds the next property.
enum class PropertyStep {
    roundedUp,    // data + stored length rounded up to four; the bytes skipped must be zero
    storedLength, // data + stored length
};

struct PropertyList {
    uint16_t prefix = 0;
    int32_t version = 0;
    std::vector<PropertyListEntry> properties;
};

// Reads the whole resource; the properties must end exactly where it ends
// and every padding byte must be zero. On failure returns false and says why.
bool readPropertyList(std::span<const uint8_t> bytes, PropertyList& list, std::string& error,
                      PropertyStep step = PropertyStep::roundedUp);

// Decoders of property data. Each accepts only data of exactly its shape,
// followed by at most three zero bytes.

// A Pascal string: its length byte, then that many characters.
std::optional<std::string> propertyPascalString(const std::vector<uint8_t>& data);
// A C string: the characters, then one terminator.
std::optional<std::string> propertyCString(const std::vector<uint8_t>& data);
// One 32-bit little-endian integer.
std::optional<uint32_t> propertyU32(const std::vector<uint8_t>& data);

// The terminology property (hstm).
struct TerminologyProperty {
    int32_t version = 0;
    uint32_t classId = 0;
    uint32_t eventId = 0;
    int16_t resourceId = 0;
    std::string scope; // the unique scope string
};
std::optional<TerminologyProperty> propertyTerminology(const std::vector<uint8_t>& data);

// The supported-modes property (mode): a 16-bit field of flags stored most
// significant byte first, bitmap in the top bit (padded: 2 or 4 bytes).
std::optional<uint16_t> propertyModeFlags(const std::vector<uint8_t>& data);

// One case of the filter case info property (fici), 1-byte packed.
struct FilterCaseInfo {
    uint8_t inputHandling = 0;
    uint8_t outputHandling = 0;
    uint8_t flags1 = 0;
    uint8_t flags2 = 0;
};
// Seven cases, in the host's case order (flat image without selection first).
std::optional<std::vector<FilterCaseInfo>> propertyFilterCases(const std::vector<uint8_t>& data);
