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
    // Signed or unsigned: 3000000000 is the seed -1294967296.
    {"seed", &Settings::seed, INT32_MIN, UINT32_MAX},
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

// Edit distance, a swap of two neighbours counting as one edit.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0u : 1u)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::string withoutSpaces(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    return s;
}

template <size_t N> std::vector<std::string> namesOf(const std::array<const char*, N>& names) {
    std::vector<std::string> out;
    for (size_t i = 1; i < N; ++i)
        if (*names[i]) out.emplace_back(names[i]);
    return out;
}

// The value as a flag takes it: the dash form where that reads back as the
// same value, the number otherwise ("procedural +" has no dash form).
std::string flagValue(const std::string& name, int number, int (*fromText)(const std::string&)) {
    const std::string dashed = dashName(name);
    return fromText(dashed) == number ? dashed : std::to_string(number);
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

std::vector<std::string> settingFlagNames() {
    std::vector<std::string> out = {"seed", "shape", "stripe-kind", "merge", "glue"};
    for (const IntFlag& f : kIntFlags)
        if (std::find(out.begin(), out.end(), f.name) == out.end()) out.emplace_back(f.name);
    return out;
}

std::string dashName(const std::string& name) {
    std::string out = name;
    std::replace(out.begin(), out.end(), ' ', '-');
    return out;
}

std::vector<std::string> nearestNames(const std::string& typed,
                                      const std::vector<std::string>& candidates) {
    const std::string want = normalName(typed);
    const std::string bare = withoutSpaces(want);
    if (bare.empty()) return {};
    // Up to one edit in four letters, at least one.
    const size_t allowed = std::max<size_t>(1, bare.size() / 4);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const std::string& candidate : candidates) {
        const std::string name = withoutSpaces(normalName(candidate));
        if (name.empty()) continue;
        size_t score =
            std::min(editDistance(bare, name), editDistance(want, normalName(candidate)));
        const bool within =
            name.size() >= 3 && bare.size() >= 3 &&
            (bare.find(name) != std::string::npos || name.find(bare) != std::string::npos);
        if (score > allowed && !within) continue;
        if (score > allowed) score = allowed + 1;
        scored.emplace_back(score, candidate);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (const auto& [score, name] : scored) {
        if (out.size() == 3) break;
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
    return out;
}

std::string suggestionText(const std::vector<std::string>& names) {
    if (names.empty()) return "";
    std::string out = "; did you mean ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out += i + 1 == names.size() ? " or " : ", ";
        out += "'" + names[i] + "'";
    }
    return out + "?";
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
        // Modulo 2^32 for the unsigned seeds.
        s.*f.field = int32_t(uint32_t(n));
        return FlagResult::ok;
    }
    if (name == "shape") {
        const int shape = shapeFromText(value);
        if (!shape) {
            std::vector<std::string> near;
            for (const std::string& near1 : nearestNames(value, namesOf(kShapeNames)))
                near.push_back(dashName(near1));
            error = "--shape must be circles, diamonds, squares, octagons, TVs, fleurons, points "
                    "or 1 to 7 (got '" +
                    value + "')" + suggestionText(near);
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
            std::vector<std::string> names = namesOf(kGlueMenuNames);
            names.push_back(glueScriptingName(26));
            std::vector<std::string> near;
            for (const std::string& near1 : nearestNames(value, names))
                near.push_back(flagValue(near1, glueFromText(near1), glueFromText));
            error = "--glue must be a glue mode name or a number from 1 to " +
                    std::to_string(kGlueModeCount) + " (got '" + value + "')" +
                    suggestionText(near) + (near.empty() ? "; " : " ") +
                    "quillfire --help lists the names";
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
        out += "--" + flag + " " + value;
    };
    auto addEnum = [&](DescriptorKeyID key, const char* flag, const ScriptingEnumeration& e,
                       std::string (*name)(int), int (*fromText)(const std::string&)) {
        auto v = d.enumerated(key);
        if (!v) return;
        const int n = std::max(enumDigits(e, *v), 0);
        std::string text = name(n);
        // Printed as one word, so that the flags can be reused from a shell
        // variable.
        if (!text.empty()) text = flagValue(text, n, fromText);
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
    addEnum(kKeyShape, "shape", kShapeEnumeration, shapeName, shapeFromText);
    addEnum(kKeyStripeKind, "stripe-kind", kStripeKindEnumeration, stripeKindName,
            stripeKindFromText);
    addInt(kKeyMerge, "merge");
    addEnum(kKeyGlue, "glue", kGlueEnumeration, glueMenuName, glueFromText);
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
