// Reader of a Windows terminology (aete) resource, as a host reads it to name
// a plug-in's scripting event, parameters and enumerations. Every count and
// string is checked against the bytes at hand; anything that does not fit
// fails the read with a message.
//
// Layout on Windows: a 16-bit prefix word (1), then the terminology in the
// published order with little-endian integers and four-character codes and
// no alignment padding after Pascal strings:
//   major byte, minor byte, language, script, suite count;
//   suite: name, description, id, level, version, events, classes,
//     comparison operators, enumerations;
//   event: name, description, class, id, reply type, reply description,
//     reply flags, direct parameter type, description, flags, parameters;
//   parameter: name, key, type, description, flags;
//   class: name, id, description, properties (name, id, type, description,
//     flags), elements (type, key forms);
//   comparison operator: name, id, description;
//   enumeration: type, values (name, value, description).
// Counts are 16-bit.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

struct TerminologyParameter {
    std::string name;
    uint32_t key = 0;
    uint32_t type = 0;
    std::string description;
    uint16_t flags = 0;
};

struct TerminologyEvent {
    std::string name;
    std::string description;
    uint32_t eventClass = 0;
    uint32_t eventId = 0;
    uint32_t replyType = 0;
    std::string replyDescription;
    uint16_t replyFlags = 0;
    uint32_t directParameterType = 0;
    std::string directParameterDescription;
    uint16_t directParameterFlags = 0;
    std::vector<TerminologyParameter> parameters;
};

struct TerminologyClassProperty {
    std::string name;
    uint32_t id = 0;
    uint32_t type = 0;
    std::string description;
    uint16_t flags = 0;
};

struct TerminologyClassElement {
    uint32_t type = 0;
    std::vector<uint32_t> keyForms;
};

struct TerminologyClass {
    std::string name;
    uint32_t id = 0;
    std::string description;
    std::vector<TerminologyClassProperty> properties;
    std::vector<TerminologyClassElement> elements;
};

struct TerminologyComparison {
    std::string name;
    uint32_t id = 0;
    std::string description;
};

struct TerminologyEnumerator {
    std::string name;
    uint32_t value = 0;
    std::string description;
};

struct TerminologyEnumeration {
    uint32_t type = 0;
    std::vector<TerminologyEnumerator> values;
};

struct TerminologySuite {
    std::string name;
    std::string description;
    uint32_t id = 0;
    int16_t level = 0;
    int16_t version = 0;
    std::vector<TerminologyEvent> events;
    std::vector<TerminologyClass> classes;
    std::vector<TerminologyComparison> comparisons;
    std::vector<TerminologyEnumeration> enumerations;
};

struct Terminology {
    uint16_t prefix = 0;
    uint8_t majorVersion = 0;
    uint8_t minorVersion = 0;
    int16_t language = 0;
    int16_t script = 0;
    std::vector<TerminologySuite> suites;
};

// Reads the whole resource; the last suite must end exactly where the
// resource ends. On failure returns false and says why.
bool readTerminology(std::span<const uint8_t> bytes, Terminology& terminology, std::string& error);
