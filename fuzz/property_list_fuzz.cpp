// libFuzzer target: the readers of the module's property list and
// terminology resources that the resource tests use, as a host reads them.
// Input: the first byte chooses the reader, the rest is the resource.
#include "tests/resources/property_list_reader.h"
#include "tests/resources/terminology_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    std::string error;
    if (data[0] & 1) {
        Terminology terminology;
        readTerminology(bytes, terminology, error);
        return 0;
    }
    for (PropertyStep step : {PropertyStep::roundedUp, PropertyStep::storedLength}) {
        PropertyList list;
        if (!readPropertyList(bytes, list, error, step)) continue;
        for (const PropertyListEntry& p : list.properties) {
            if (p.data.size() != p.storedLength) __builtin_trap();
            propertyPascalString(p.data);
            propertyCString(p.data);
            propertyU32(p.data);
            propertyTerminology(p.data);
            propertyModeFlags(p.data);
            propertyFilterCases(p.data);
        }
    }
    return 0;
}
