// The scripting terms: the fourteen keys a recorded action carries for the
// pattern settings, their names in the terminology resource, their value
// types and the settings fields they fill, and the three enumerations with
// the numbers their values stand for. The module, the CLI, the tests and the
// generator of the terminology resource (tools/make_terminology.cpp) all
// take the keys and codes from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "values/name_tables.h"
#include "values/settings_record.h"

namespace qf {

// A four-character code: a 32-bit value whose bytes, most significant
// first, are the four characters.
constexpr uint32_t fourChars(const char (&text)[5]) {
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) |
           (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}

// The value type of the integer keys ("long").
constexpr uint32_t kTypeInteger = fourChars("long");
// The value written for a number outside its enumeration ("<NO>").
constexpr uint32_t kNoEnumValue = fourChars("<NO>");

// The keys, by the settings they carry.
constexpr uint32_t kKeyGlue = fourChars("GLUE");
constexpr uint32_t kKeyOverlap = fourChars("0002");
constexpr uint32_t kKeyStripes = fourChars("0003");
constexpr uint32_t kKeyWarping = fourChars("0004");
constexpr uint32_t kKeySoftness = fourChars("0005");
constexpr uint32_t kKeyDoublure = fourChars("0006");
constexpr uint32_t kKeyColor = fourChars("0007");
constexpr uint32_t kKeyZoom = fourChars("0008");
constexpr uint32_t kKeyComplexity = fourChars("0009");
constexpr uint32_t kKeyHue = fourChars("0010");
constexpr uint32_t kKeyMerge = fourChars("0011");
constexpr uint32_t kKeyShape = fourChars("Hsky");
constexpr uint32_t kKeyStripeKind = fourChars("Htky");
constexpr uint32_t kKeyRandomSeed = fourChars("0014");

// The host signature of our own host (the command-line tool), and the keys
// of its export request: output path (text), width, height and JPEG quality
// (integers). The keys write a file wherever they point, so the module
// honours them only from a host that says it is ours; a recorded action
// replayed in an editor cannot change the editor's signature.
constexpr uint32_t kOwnHostSignature = fourChars("qfHS");
constexpr uint32_t kKeyExportPath = fourChars("qfXP");
constexpr uint32_t kKeyExportWidth = fourChars("qfXW");
constexpr uint32_t kKeyExportHeight = fourChars("qfXH");
constexpr uint32_t kKeyExportQuality = fourChars("qfXQ");

// The enumeration types.
constexpr uint32_t kTypeGlue = fourChars("GLty");
constexpr uint32_t kTypeShape = fourChars("Hsty");
constexpr uint32_t kTypeStripeKind = fourChars("Htty");

// An enumeration: its values are two letters followed by the number as two
// decimal digits (GL07 stands for glue mode 7).
struct ScriptingEnumeration {
    uint32_t type;
    char letters[2];
    int32_t limit; // the numbers run from 1 to limit
    // The value's name in the terminology; empty for a number the
    // terminology leaves out (the value still reads and writes).
    std::string (*name)(int number);
};

inline constexpr ScriptingEnumeration kGlueEnumeration = {
    kTypeGlue, {'G', 'L'}, kGlueModeCount, glueScriptingName};
inline constexpr ScriptingEnumeration kShapeEnumeration = {kTypeShape, {'H', 's'}, 7, shapeName};
inline constexpr ScriptingEnumeration kStripeKindEnumeration = {
    kTypeStripeKind, {'H', 't'}, 4, stripeKindName};

// Two digits carry the number; the name tables cover every number.
static_assert(kGlueEnumeration.limit <= 99 && kShapeEnumeration.limit <= 99 &&
              kStripeKindEnumeration.limit <= 99);
static_assert(std::tuple_size_v<decltype(kGlueMenuNames)> == size_t(kGlueEnumeration.limit) + 1);
static_assert(std::tuple_size_v<decltype(kShapeNames)> == size_t(kShapeEnumeration.limit) + 1);
static_assert(std::tuple_size_v<decltype(kStripeKindNames)> ==
              size_t(kStripeKindEnumeration.limit) + 1);

// The enumerations in the order the terminology lists them.
inline constexpr std::array<const ScriptingEnumeration*, 3> kScriptingEnumerations = {
    &kShapeEnumeration, &kStripeKindEnumeration, &kGlueEnumeration};

// One key of the descriptor.
struct ScriptingKey {
    uint32_t key;
    const char* name;                        // its name in the terminology
    const ScriptingEnumeration* enumeration; // null for an integer key
    int32_t SettingsRecord::*field;          // the setting it carries

    constexpr uint32_t type() const { return enumeration ? enumeration->type : kTypeInteger; }
};

// The keys in the order a descriptor carries them and the terminology
// lists them.
inline constexpr std::array<ScriptingKey, 14> kScriptingKeys = {{
    {kKeyGlue, "glue", &kGlueEnumeration, &SettingsRecord::glue},
    {kKeyOverlap, "overlap", nullptr, &SettingsRecord::overlap},
    {kKeyStripes, "stripes", nullptr, &SettingsRecord::stripes},
    {kKeyWarping, "warping", nullptr, &SettingsRecord::warping},
    {kKeySoftness, "softness", nullptr, &SettingsRecord::softness},
    {kKeyDoublure, "doublure", nullptr, &SettingsRecord::doublure},
    {kKeyColor, "color", nullptr, &SettingsRecord::color},
    {kKeyZoom, "zoom", nullptr, &SettingsRecord::zoom},
    {kKeyComplexity, "complexity", nullptr, &SettingsRecord::complexity},
    {kKeyHue, "hue", nullptr, &SettingsRecord::hue},
    {kKeyMerge, "merge", nullptr, &SettingsRecord::merge},
    {kKeyShape, "shape", &kShapeEnumeration, &SettingsRecord::shape},
    {kKeyStripeKind, "stripe kind", &kStripeKindEnumeration, &SettingsRecord::stripeKind},
    {kKeyRandomSeed, "random seed", nullptr, &SettingsRecord::randomSeed},
}};

// The keys followed by the 0 that ends the list a host is handed.
constexpr std::array<uint32_t, kScriptingKeys.size() + 1> scriptingKeyList() {
    std::array<uint32_t, kScriptingKeys.size() + 1> keys{};
    for (size_t i = 0; i < kScriptingKeys.size(); ++i) keys[i] = kScriptingKeys[i].key;
    return keys;
}

// The entry of `key`; null for a key that is not one of the fourteen.
constexpr const ScriptingKey* findScriptingKey(uint32_t key) {
    for (const ScriptingKey& k : kScriptingKeys)
        if (k.key == key) return &k;
    return nullptr;
}

// The value that stands for `number`; kNoEnumValue outside 1 to limit.
constexpr uint32_t enumValue(const ScriptingEnumeration& e, int32_t number) {
    if (number < 1 || number > e.limit) return kNoEnumValue;
    return fourChars(
        {e.letters[0], e.letters[1], char('0' + number / 10), char('0' + number % 10), '\0'});
}

// The two digits of a value with the enumeration's letters, whatever their
// number (GL70 gives 70, GL00 gives 0); -1 for any other value.
constexpr int32_t enumDigits(const ScriptingEnumeration& e, uint32_t value) {
    const char c0 = char(value >> 24), c1 = char(value >> 16), c2 = char(value >> 8),
               c3 = char(value);
    if (c0 != e.letters[0] || c1 != e.letters[1]) return -1;
    if (c2 < '0' || c2 > '9' || c3 < '0' || c3 > '9') return -1;
    return (c2 - '0') * 10 + (c3 - '0');
}

// The number a value stands for; 0 when it is not one of the enumeration's
// values 1 to limit.
constexpr int32_t enumNumber(const ScriptingEnumeration& e, uint32_t value) {
    const int32_t n = enumDigits(e, value);
    return n >= 1 && n <= e.limit ? n : 0;
}

constexpr uint32_t glueEnumValue(int32_t glue) {
    return enumValue(kGlueEnumeration, glue);
}
constexpr uint32_t shapeEnumValue(int32_t shape) {
    return enumValue(kShapeEnumeration, shape);
}
constexpr uint32_t stripeKindEnumValue(int32_t kind) {
    return enumValue(kStripeKindEnumeration, kind);
}

// One value as the terminology lists it.
struct ScriptingValue {
    int32_t number;
    uint32_t value;
    std::string name;
};

// The values of an enumeration the terminology lists, in number order: those
// from 1 to limit that have a name.
std::vector<ScriptingValue> terminologyValues(const ScriptingEnumeration& e);

} // namespace qf
