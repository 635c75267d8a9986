// A scripting descriptor as the host keeps it: an ordered list of typed
// keyed values. A module only ever sees it as an opaque handle; the host
// stores the list in the handle in its own byte layout (below) and reads it
// back, refusing anything malformed.
#pragma once

#include "plugin/host_api.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf::host {

// Value types beyond those of the interface header.
constexpr DescType typeUnitFloat = fourCC("UntF");
constexpr DescType typeText = fourCC("TEXT");
constexpr DescType typeClass = fourCC("type");
constexpr DescType typeAlias = fourCC("alis");
constexpr DescType typeObject = fourCC("Objc");
constexpr DescType typeObjectReference = fourCC("obj ");

struct DescriptorItem {
    DescriptorKeyID key = 0;
    DescType type = 0;
    int32_t integer = 0;    // 'long'
    double number = 0.0;    // 'doub', 'UntF'
    DescUnitID unit = 0;    // 'UntF'
    bool boolean = false;   // 'bool'
    DescType enumType = 0;  // 'enum'
    DescEnum enumValue = 0; // 'enum'; also the class of 'type', 'Objc'
    std::string bytes;      // 'TEXT'; the raw payload of alias, object and reference values
};

class Descriptor {
  public:
    Descriptor& putInteger(DescriptorKeyID key, int32_t value);
    Descriptor& putFloat(DescriptorKeyID key, double value);
    Descriptor& putUnitFloat(DescriptorKeyID key, DescUnitID unit, double value);
    Descriptor& putBoolean(DescriptorKeyID key, bool value);
    Descriptor& putEnumerated(DescriptorKeyID key, DescType enumType, DescEnum value);
    Descriptor& putText(DescriptorKeyID key, std::string text);
    Descriptor& putClass(DescriptorKeyID key, DescClassID cls);
    // Any other value type, kept as opaque bytes.
    Descriptor& putOpaque(DescriptorKeyID key, DescType type, std::string bytes);
    Descriptor& add(const DescriptorItem& item);

    const std::vector<DescriptorItem>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    void clear() { items_.clear(); }

    // The first item with this key, or null.
    const DescriptorItem* find(DescriptorKeyID key) const;
    std::optional<int32_t> integer(DescriptorKeyID key) const;
    std::optional<DescEnum> enumerated(DescriptorKeyID key) const;
    std::optional<double> number(DescriptorKeyID key) const;
    std::optional<bool> boolean(DescriptorKeyID key) const;

    // The host's byte layout: "QFD1", item count, then per item key, type and
    // the value (all numbers little-endian).
    std::vector<uint8_t> serialize() const;
    // False (and `out` untouched) when the bytes are not a well-formed descriptor.
    static bool parse(const uint8_t* data, size_t size, Descriptor& out);

    // A new host handle holding the descriptor (null when memory is out), and
    // the descriptor held by a handle (false when the handle is unknown or its
    // content malformed).
    Handle toHandle() const;
    static bool fromHandle(Handle h, Descriptor& out);

  private:
    std::vector<DescriptorItem> items_;
};

bool operator==(const DescriptorItem& a, const DescriptorItem& b);

// "GLUE" for printing; non-printable bytes become '?'.
std::string fourCCText(uint32_t code);

} // namespace qf::host
