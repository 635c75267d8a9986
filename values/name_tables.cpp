#include "values/name_tables.h"

namespace qf {

const std::array<const char*, kGlueModeCount + 1> kGlueMenuNames = {
    "",           "normal",       "procedural +", "procedural -",
    "difference", "lighten", // 1-5
    "darken",     "add",          "subtract",     "multiply",
    "screen", // 6-10
    "hard light", "overlay",      "superlay",     "exclusion",
    "color", // 11-15
    "luminance",  "linear light", "pin light",    "spin light",
    "vivid a", // 16-20
    "vivid b",    "saturation",   "hue",          "similarity",
    "cross", // 21-25
    "hard diff",  "soft light",   "bright",       "dim",
    "dodge", // 26-30
    "burn",       "ace",          "king",         "queen",
    "jack", // 31-35
    "and",        "or",           "xor",          "multibright",
    "hot", // 36-40
    "cold",       "wet",          "dry",          "up",
    "down", // 41-45
    "wax",        "wane",         "north",        "south",
    "east", // 46-50
    "west",       "hard mix",     "frontal",      "parietal",
    "temporal", // 51-55
    "occipital",  "limbic",       "dextrous",     "sinister",
    "anterior", // 56-60
    "posterior",  "screendim",    "starbright",   "glow",
    "reflect",                                                       // 61-65
    "shimmer",    "lustre",       "negation",     "contrast negate", // 66-69
};

const std::array<const char*, 8> kShapeNames = {"",         "circles", "diamonds", "squares",
                                                "octagons", "TVs",     "fleurons", "points"};

const std::array<const char*, 5> kStripeKindNames = {"", "a", "b", "c", "d"};
const std::array<const char*, 5> kMergeNames = {"", "1", "2", "3", "4"};

namespace {
template <size_t N> std::string entry(const std::array<const char*, N>& names, int value) {
    return value >= 1 && size_t(value) < N ? names[size_t(value)] : "";
}
} // namespace

std::string glueMenuName(int mode) {
    return entry(kGlueMenuNames, mode);
}
std::string shapeName(int shape) {
    return entry(kShapeNames, shape);
}
std::string stripeKindName(int kind) {
    return entry(kStripeKindNames, kind);
}

std::string mergeName(int merge) {
    return entry(kMergeNames, merge);
}

std::string glueScriptingName(int mode) {
    if (mode == 26) return "harsh diff";
    if (mode == 60 || mode == 61 || (mode >= 64 && mode <= 69)) return "";
    return glueMenuName(mode);
}

} // namespace qf
