#include "host/cli/settings.h"

#include <array>
#include <cctype>

namespace cli {
namespace {

DescEnum twoDigitValue(char a, char b, int n) {
    return fourCC({a, b, char('0' + n / 10), char('0' + n % 10), '\0'});
}

// Lower case; '_' and a '-' between letters read as a space, so that
// "hard-light" and "Hard_Light" name "hard light".
std::string normalName(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        const bool letterBefore = i > 0 && std::isalpha(static_cast<unsigned char>(s[i - 1]));
        const bool letterAfter = i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]));
        if (c == '_' || (c == '-' && letterBefore && letterAfter)) c = ' ';
        out.push_back(c);
    }
    return out;
}

template <size_t N> int lookupName(const std::array<const char*, N>& names, const std::string& text) {
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

std::string quoted(const std::string& s) {
    return s.find(' ') == std::string::npos ? s : "\"" + s + "\"";
}

} // namespace

DescEnum glueValue(int mode) { return twoDigitValue('G', 'L', mode); }
DescEnum shapeValue(int shape) { return twoDigitValue('H', 's', shape); }
DescEnum stripeKindValue(int kind) { return twoDigitValue('H', 't', kind); }

int enumNumber(DescEnum value, const char (&prefix)[3]) {
    const char a = char(value >> 24), b = char(value >> 16), c = char(value >> 8), d = char(value);
    if (a != prefix[0] || b != prefix[1] || c < '0' || c > '9' || d < '0' || d > '9') return 0;
    return (c - '0') * 10 + (d - '0');
}

int glueFromText(const std::string& text) {
    if (int mode = lookupName(kGlueMenuNames, text)) return mode;
    // The scripting names differ from the menu's only for mode 26.
    for (int mode = 1; mode <= 69; ++mode)
        if (!glueScriptingName(mode).empty() && normalName(glueScriptingName(mode)) == normalName(text)) return mode;
    int64_t n = 0;
    return parseInt(text, 1, 69, n) ? int(n) : 0;
}

int shapeFromText(const std::string& text) {
    if (int shape = lookupName(kShapeNames, text)) return shape;
    int64_t n = 0;
    return parseInt(text, 1, 7, n) ? int(n) : 0;
}

int stripeKindFromText(const std::string& text) {
    if (int kind = lookupName(kStripeKindNames, text)) return kind;
    int64_t n = 0;
    return parseInt(text, 1, 4, n) ? int(n) : 0;
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
            error = "--shape must be circles, diamonds, squares, octagons, TVs, fleurons, points or 1 to 7 (got '" +
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
            error = "--glue must be a glue mode name or a number from 1 to 69 (got '" + value +
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
    if (glue) d.putEnumerated(kKeyGlue, kTypeGlue, glueValue(*glue));
    const std::pair<DescriptorKeyID, const std::optional<int32_t>*> ints[] = {
        {kKeyOverlap, &overlap}, {kKeyStripes, &stripes},     {kKeyWarping, &warping},
        {kKeySoftness, &softness}, {kKeyDoublure, &doublure}, {kKeyColor, &color},
        {kKeyZoom, &zoom},         {kKeyComplexity, &complexity}, {kKeyHue, &hue},
        {kKeyMerge, &merge},
    };
    for (const auto& [key, value] : ints)
        if (*value) d.putInteger(key, **value);
    if (shape) d.putEnumerated(kKeyShape, kTypeShape, shapeValue(*shape));
    if (stripeKind) d.putEnumerated(kKeyStripeKind, kTypeStripeKind, stripeKindValue(*stripeKind));
    if (seed) d.putInteger(kKeyRandomSeed, *seed);
    return d;
}

std::string describeSettings(const host::Descriptor& d) {
    std::string out;
    auto add = [&](const std::string& flag, const std::string& value) {
        if (!out.empty()) out += ' ';
        out += "--" + flag + " " + value;
    };
    auto addEnum = [&](DescriptorKeyID key, const char* flag, const char (&prefix)[3],
                       std::string (*name)(int)) {
        auto v = d.enumerated(key);
        if (!v) return;
        int n = enumNumber(*v, prefix);
        std::string text = name(n);
        if (text.empty() && n) text = std::to_string(n);
        if (text.empty()) {
            text = host::fourCCText(*v);
            text.insert(text.begin(), '\'');
            text.push_back('\'');
        }
        add(flag, quoted(text));
    };
    auto addInt = [&](DescriptorKeyID key, const char* flag) {
        if (auto v = d.integer(key)) add(flag, std::to_string(*v));
    };
    addInt(kKeyRandomSeed, "seed");
    addEnum(kKeyShape, "shape", "Hs", shapeName);
    addEnum(kKeyStripeKind, "stripe-kind", "Ht", stripeKindName);
    addInt(kKeyMerge, "merge");
    addEnum(kKeyGlue, "glue", "GL", glueMenuName);
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

} // namespace cli
