#include "terminology_reader.h"

#include "byte_reader.h"

namespace qf {}
using namespace qf;

namespace {

// Reads a 16-bit count; negative counts are malformed.
bool readCount(ByteReader& reader, int& count) {
    int16_t raw = 0;
    if (!reader.readI16(raw) || raw < 0) return false;
    count = raw;
    return true;
}

bool readParameter(ByteReader& reader, TerminologyParameter& parameter) {
    return reader.readPascalString(parameter.name) && reader.readU32(parameter.key) &&
           reader.readU32(parameter.type) && reader.readPascalString(parameter.description) &&
           reader.readU16(parameter.flags);
}

bool readEvent(ByteReader& reader, TerminologyEvent& event, std::string& error) {
    if (!reader.readPascalString(event.name) || !reader.readPascalString(event.description) ||
        !reader.readU32(event.eventClass) || !reader.readU32(event.eventId) ||
        !reader.readU32(event.replyType) || !reader.readPascalString(event.replyDescription) ||
        !reader.readU16(event.replyFlags) || !reader.readU32(event.directParameterType) ||
        !reader.readPascalString(event.directParameterDescription) ||
        !reader.readU16(event.directParameterFlags)) {
        error = "event truncated";
        return false;
    }
    int count = 0;
    if (!readCount(reader, count)) {
        error = "event '" + event.name + "': bad parameter count";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        TerminologyParameter parameter;
        if (!readParameter(reader, parameter)) {
            error = "event '" + event.name + "': parameter " + std::to_string(i) + " truncated";
            return false;
        }
        event.parameters.push_back(std::move(parameter));
    }
    return true;
}

bool readClass(ByteReader& reader, TerminologyClass& terminologyClass, std::string& error) {
    int propertyCount = 0;
    if (!reader.readPascalString(terminologyClass.name) || !reader.readU32(terminologyClass.id) ||
        !reader.readPascalString(terminologyClass.description) ||
        !readCount(reader, propertyCount)) {
        error = "class truncated";
        return false;
    }
    for (int i = 0; i < propertyCount; ++i) {
        TerminologyClassProperty property;
        if (!reader.readPascalString(property.name) || !reader.readU32(property.id) ||
            !reader.readU32(property.type) || !reader.readPascalString(property.description) ||
            !reader.readU16(property.flags)) {
            error = "class '" + terminologyClass.name + "': property truncated";
            return false;
        }
        terminologyClass.properties.push_back(std::move(property));
    }
    int elementCount = 0;
    if (!readCount(reader, elementCount)) {
        error = "class '" + terminologyClass.name + "': bad element count";
        return false;
    }
    for (int i = 0; i < elementCount; ++i) {
        TerminologyClassElement element;
        int keyFormCount = 0;
        if (!reader.readU32(element.type) || !readCount(reader, keyFormCount)) {
            error = "class '" + terminologyClass.name + "': element truncated";
            return false;
        }
        for (int k = 0; k < keyFormCount; ++k) {
            uint32_t keyForm = 0;
            if (!reader.readU32(keyForm)) {
                error = "class '" + terminologyClass.name + "': key form truncated";
                return false;
            }
            element.keyForms.push_back(keyForm);
        }
        terminologyClass.elements.push_back(std::move(element));
    }
    return true;
}

bool readEnumeration(ByteReader& reader, TerminologyEnumeration& enumeration, std::string& error) {
    int count = 0;
    if (!reader.readU32(enumeration.type) || !readCount(reader, count)) {
        error = "enumeration truncated";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        TerminologyEnumerator value;
        if (!reader.readPascalString(value.name) || !reader.readU32(value.value) ||
            !reader.readPascalString(value.description)) {
            error = "enumeration value " + std::to_string(i) + " truncated";
            return false;
        }
        enumeration.values.push_back(std::move(value));
    }
    return true;
}

bool readSuite(ByteReader& reader, TerminologySuite& suite, std::string& error) {
    int eventCount = 0;
    if (!reader.readPascalString(suite.name) || !reader.readPascalString(suite.description) ||
        !reader.readU32(suite.id) || !reader.readI16(suite.level) ||
        !reader.readI16(suite.version) || !readCount(reader, eventCount)) {
        error = "suite header truncated";
        return false;
    }
    for (int i = 0; i < eventCount; ++i) {
        TerminologyEvent event;
        if (!readEvent(reader, event, error)) return false;
        suite.events.push_back(std::move(event));
    }
    int classCount = 0;
    if (!readCount(reader, classCount)) {
        error = "suite '" + suite.name + "': bad class count";
        return false;
    }
    for (int i = 0; i < classCount; ++i) {
        TerminologyClass terminologyClass;
        if (!readClass(reader, terminologyClass, error)) return false;
        suite.classes.push_back(std::move(terminologyClass));
    }
    int comparisonCount = 0;
    if (!readCount(reader, comparisonCount)) {
        error = "suite '" + suite.name + "': bad comparison count";
        return false;
    }
    for (int i = 0; i < comparisonCount; ++i) {
        TerminologyComparison comparison;
        if (!reader.readPascalString(comparison.name) || !reader.readU32(comparison.id) ||
            !reader.readPascalString(comparison.description)) {
            error = "suite '" + suite.name + "': comparison truncated";
            return false;
        }
        suite.comparisons.push_back(std::move(comparison));
    }
    int enumerationCount = 0;
    if (!readCount(reader, enumerationCount)) {
        error = "suite '" + suite.name + "': bad enumeration count";
        return false;
    }
    for (int i = 0; i < enumerationCount; ++i) {
        TerminologyEnumeration enumeration;
        if (!readEnumeration(reader, enumeration, error)) return false;
        suite.enumerations.push_back(std::move(enumeration));
    }
    return true;
}

} // namespace

bool readTerminology(std::span<const uint8_t> bytes, Terminology& terminology, std::string& error) {
    terminology = Terminology{};
    ByteReader reader(bytes);
    int suiteCount = 0;
    if (!reader.readU16(terminology.prefix) || !reader.readU8(terminology.majorVersion) ||
        !reader.readU8(terminology.minorVersion) || !reader.readI16(terminology.language) ||
        !reader.readI16(terminology.script) || !readCount(reader, suiteCount)) {
        error = "terminology header truncated or bad suite count";
        return false;
    }
    for (int i = 0; i < suiteCount; ++i) {
        TerminologySuite suite;
        if (!readSuite(reader, suite, error)) return false;
        terminology.suites.push_back(std::move(suite));
    }
    if (!reader.atEnd()) {
        error = std::to_string(reader.remaining()) + " bytes after the last suite";
        return false;
    }
    error.clear();
    return true;
}
