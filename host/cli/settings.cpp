#include "host/cli/settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace qf::cli {
namespace {

// Lower case; '_' and a '-' between letters read as a space, so that
// "hard-light" and "Hard_Light" name "hard light".
std::string normalName(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        const bool letterBefore = i > 0 && std::isalpha(static_cast<unsigned char>(s[i - 1]));
        const bool letterAfter =
            i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]));
        if (c == '_' || (c == '-' && letterBefore && letterAfter)) c = ' ';
        out.push_back(c);
    }
    return out;
}

template <size_t N>
int lookupName(const std::array<const char*, N>& names, const std::string& text) {
    const std::string want = normalName(text);
    for (size_t i = 1; i < N; ++i)
        if (*names[i] && normalName(names[i]) == want) return int(i);
    return 0;
}

struct IntFlag {
    const char* name;
    std::optional<int32_t> Settings::*field;
    int64_t lo, hi;
};

constexpr IntFlag kIntFlags[] = {
    {"seed", &Settings::seed, INT32_MIN, INT32_MAX},
    {"merge", &Settings::merge, 1, 4},
    {"overlap", &Settings::overlap, 0, 100},
    {"stripes", &Settings::stripes, 0, 100},
    {"warping", &Settings::warping, 0, 100},
    {"softness", &Settings::softness, 0, 100},
    {"doublure", &Settings::doublure, 0, 100},
    {"color", &Settings::color, 0, 100},
    {"zoom", &Settings::zoom, 0, 100},
    {"complexity", &Settings::complexity, 0, 100},
    {"hue", &Settings::hue, 0, 100},
};

// The flag that fills each field of the module's settings.
const std::pair<int32_t SettingsRecord::*, std::optional<int32_t> Settings::*> kFlagFields[] = {
    {&SettingsRecord::glue, &Settings::glue},
    {&SettingsRecord::overlap, &Settings::overlap},
    {&SettingsRecord::stripes, &Settings::stripes},
    {&SettingsRecord::warping, &Settings::warping},
    {&SettingsRecord::softness, &Settings::softness},
    {&SettingsRecord::doublure, &Settings::doublure},
    {&SettingsRecord::color, &Settings::color},
    {&SettingsRecord::zoom, &Settings::zoom},
    {&SettingsRecord::complexity, &Settings::complexity},
    {&SettingsRecord::hue, &Settings::hue},
    {&SettingsRecord::merge, &Settings::merge},
    {&SettingsRecord::shape, &Settings::shape},
    {&SettingsRecord::stripeKind, &Settings::stripeKind},
    {&SettingsRecord::randomSeed, &Settings::seed},
};

const std::optional<int32_t>& flagOf(const Settings& s, int32_t SettingsRecord::*field) {
    for (const auto& [recordField, flag] : kFlagFields)
        if (recordField == field) return s.*flag;
    static const std::optional<int32_t> none;
    return none;
}

std::string quoted(const std::string& s) {
    return s.find(' ') == std::string::npos ? s : "\"" + s + "\"";
}

} // namespace

int enumNumber(DescEnum value, const char (&letters)[3]) {
    for (const ScriptingEnumeration* e : kScriptingEnumerations)
        if (e->letters[0] == letters[0] && e->letters[1] == letters[1])
            return std::max(enumDigits(*e, value), 0);
    return 0;
}

int glueFromText(const std::string& text) {
    if (int mode = lookupName(kGlueMenuNames, text)) return mode;
    // The scripting names differ from the menu's only for mode 26.
    for (int mode = 1; mode <= kGlueEnumeration.limit; ++mode)
        if (!glueScriptingName(mode).empty() &&
            normalName(glueScriptingName(mode)) == normalName(text))
            return mode;
    int64_t n = 0;
    return parseInt(text, 1, kGlueEnumeration.limit, n) ? int(n) : 0;
}

int shapeFromText(const std::string& text) {
    if (int shape = lookupName(kShapeNames, text)) return shape;
    int64_t n = 0;
    return parseInt(text, 1, kShapeEnumeration.limit, n) ? int(n) : 0;
}

int stripeKindFromText(const std::string& text) {
    if (int kind = lookupName(kStripeKindNames, text)) return kind;
    int64_t n = 0;
    return parseInt(text, 1, kStripeKindEnumeration.limit, n) ? int(n) : 0;
}

bool parseInt(const std::string& text, int64_t lo, int64_t hi, int64_t& out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || text.size() - i > 12) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

FlagResult parseSettingFlag(const std::string& name, const std::string& value, Settings& s,
                            std::string& error) {
    int64_t n = 0;
    for (const IntFlag& f : kIntFlags) {
        if (name != f.name) continue;
        if (!parseInt(value, f.lo, f.hi, n)) {
            error = "--" + name + " must be a whole number from " + std::to_string(f.lo) + " to " +
                    std::to_string(f.hi) + " (got '" + value + "')";
            return FlagResult::bad;
        }
        s.*f.field = int32_t(n);
        return FlagResult::ok;
    }
    if (name == "shape") {
        const int shape = shapeFromText(value);
        if (!shape) {
            error = "--shape must be circles, diamonds, squares, octagons, TVs, fleurons, points "
                    "or 1 to 7 (got '" +
                    value + "')";
            return FlagResult::bad;
        }
        s.shape = shape;
        return FlagResult::ok;
    }
    if (name == "stripe-kind") {
        const int kind = stripeKindFromText(value);
        if (!kind) {
            error = "--stripe-kind must be a, b, c, d or 1 to 4 (got '" + value + "')";
            return FlagResult::bad;
        }
        s.stripeKind = kind;
        return FlagResult::ok;
    }
    if (name == "glue") {
        const int mode = glueFromText(value);
        if (!mode) {
            error = "--glue must be a glue mode name or a number from 1 to " +
                    std::to_string(kGlueModeCount) + " (got '" + value +
                    "'); quillfire --help lists the names";
            return FlagResult::bad;
        }
        s.glue = mode;
        return FlagResult::ok;
    }
    return FlagResult::notASetting;
}

host::Descriptor Settings::toDescriptor() const {
    host::Descriptor d;
    for (const ScriptingKey& k : kScriptingKeys) {
        const std::optional<int32_t>& value = flagOf(*this, k.field);
        if (!value) continue;
        if (k.enumeration)
            d.putEnumerated(k.key, k.type(), enumValue(*k.enumeration, *value));
        else
            d.putInteger(k.key, *value);
    }
    return d;
}

std::string describeSettings(const host::Descriptor& d, std::vector<std::string>* outOfRange) {
    std::string out;
    // Only what the flags themselves accept is printed; anything else (a
    // value beyond a flag's range, an enumeration without a number) is
    // named in `outOfRange`.
    auto add = [&](const std::string& flag, const std::string& value) {
        Settings probe;
        std::string ignored;
        if (parseSettingFlag(flag, value, probe, ignored) != FlagResult::ok) {
            if (outOfRange)
                outOfRange->push_back("the module reported --" + flag + " " + value +
                                      ", outside what the flag accepts");
            return;
        }
        if (!out.empty()) out += ' ';
        out += "--" + flag + " " + quoted(value);
    };
    auto addEnum = [&](DescriptorKeyID key, const char* flag, const ScriptingEnumeration& e,
                       std::string (*name)(int)) {
        auto v = d.enumerated(key);
        if (!v) return;
        const int n = std::max(enumDigits(e, *v), 0);
        std::string text = name(n);
        if (text.empty() && n) text = std::to_string(n);
        if (text.empty()) {
            text = host::fourCCText(*v);
            text.insert(text.begin(), '\'');
            text.push_back('\'');
        }
        add(flag, text);
    };
    auto addInt = [&](DescriptorKeyID key, const char* flag) {
        if (auto v = d.integer(key)) add(flag, std::to_string(*v));
    };
    addInt(kKeyRandomSeed, "seed");
    addEnum(kKeyShape, "shape", kShapeEnumeration, shapeName);
    addEnum(kKeyStripeKind, "stripe-kind", kStripeKindEnumeration, stripeKindName);
    addInt(kKeyMerge, "merge");
    addEnum(kKeyGlue, "glue", kGlueEnumeration, glueMenuName);
    addInt(kKeyOverlap, "overlap");
    addInt(kKeyStripes, "stripes");
    addInt(kKeyWarping, "warping");
    addInt(kKeySoftness, "softness");
    addInt(kKeyDoublure, "doublure");
    addInt(kKeyColor, "color");
    addInt(kKeyZoom, "zoom");
    addInt(kKeyComplexity, "complexity");
    addInt(kKeyHue, "hue");
    return out;
}

} // namespace qf::cli
