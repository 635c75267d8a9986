// The terminology a host reads from the built module: the suite, the event,
// all fourteen parameters and the three enumerations, value by value.
#include "built_module.h"
#include "four_char_code.h"
#include "terminology_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <utility>

namespace qf {}
using namespace qf;

namespace {

constexpr int kTerminologyId = 16000;
constexpr uint16_t kOptional = 0x8000;
constexpr uint16_t kOptionalEnumerated = 0xA000;

struct ExpectedParameter {
    const char* name;
    uint32_t key;
    uint32_t type;
    uint16_t flags;
};

struct ExpectedValue {
    const char* name;
    uint32_t value;
};

const ExpectedParameter kParameters[] = {
    {"glue", fourCharCode("GLUE"), fourCharCode("GLty"), kOptionalEnumerated},
    {"overlap", fourCharCode("0002"), fourCharCode("long"), kOptional},
    {"stripes", fourCharCode("0003"), fourCharCode("long"), kOptional},
    {"warping", fourCharCode("0004"), fourCharCode("long"), kOptional},
    {"softness", fourCharCode("0005"), fourCharCode("long"), kOptional},
    {"doublure", fourCharCode("0006"), fourCharCode("long"), kOptional},
    {"color", fourCharCode("0007"), fourCharCode("long"), kOptional},
    {"zoom", fourCharCode("0008"), fourCharCode("long"), kOptional},
    {"complexity", fourCharCode("0009"), fourCharCode("long"), kOptional},
    {"hue", fourCharCode("0010"), fourCharCode("long"), kOptional},
    {"merge", fourCharCode("0011"), fourCharCode("long"), kOptional},
    {"shape", fourCharCode("Hsky"), fourCharCode("Hsty"), kOptionalEnumerated},
    {"stripe kind", fourCharCode("Htky"), fourCharCode("Htty"), kOptionalEnumerated},
    {"random seed", fourCharCode("0014"), fourCharCode("long"), kOptional},
};

const ExpectedValue kShapes[] = {
    {"circles", fourCharCode("Hs01")}, {"diamonds", fourCharCode("Hs02")},
    {"squares", fourCharCode("Hs03")}, {"octagons", fourCharCode("Hs04")},
    {"TVs", fourCharCode("Hs05")},     {"fleurons", fourCharCode("Hs06")},
    {"points", fourCharCode("Hs07")},
};

const ExpectedValue kStripeKinds[] = {
    {"a", fourCharCode("Ht01")},
    {"b", fourCharCode("Ht02")},
    {"c", fourCharCode("Ht03")},
    {"d", fourCharCode("Ht04")},
};

// Glue modes by number; 60, 61 and 64 to 69 have no scripting name.
const std::pair<int, const char*> kGlueModes[] = {
    {1, "normal"},        {2, "procedural +"}, {3, "procedural -"}, {4, "difference"},
    {5, "lighten"},       {6, "darken"},       {7, "add"},          {8, "subtract"},
    {9, "multiply"},      {10, "screen"},      {11, "hard light"},  {12, "overlay"},
    {13, "superlay"},     {14, "exclusion"},   {15, "color"},       {16, "luminance"},
    {17, "linear light"}, {18, "pin light"},   {19, "spin light"},  {20, "vivid a"},
    {21, "vivid b"},      {22, "saturation"},  {23, "hue"},         {24, "similarity"},
    {25, "cross"},        {26, "harsh diff"},  {27, "soft light"},  {28, "bright"},
    {29, "dim"},          {30, "dodge"},       {31, "burn"},        {32, "ace"},
    {33, "king"},         {34, "queen"},       {35, "jack"},        {36, "and"},
    {37, "or"},           {38, "xor"},         {39, "multibright"}, {40, "hot"},
    {41, "cold"},         {42, "wet"},         {43, "dry"},         {44, "up"},
    {45, "down"},         {46, "wax"},         {47, "wane"},        {48, "north"},
    {49, "south"},        {50, "east"},        {51, "west"},        {52, "hard mix"},
    {53, "frontal"},      {54, "parietal"},    {55, "temporal"},    {56, "occipital"},
    {57, "limbic"},       {58, "dextrous"},    {59, "sinister"},    {62, "screendim"},
    {63, "starbright"},
};

class TerminologyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
        ASSERT_TRUE(module_.isOpen()) << "cannot open " << builtModulePath() << " as a data file";
        auto bytes = module_.resource("aete", kTerminologyId);
        ASSERT_TRUE(bytes) << "the module has no aete resource " << kTerminologyId;
        std::string error;
        ASSERT_TRUE(readTerminology(*bytes, terminology_, error)) << error;
        ASSERT_EQ(terminology_.suites.size(), 1u);
        ASSERT_EQ(terminology_.suites[0].events.size(), 1u);
    }

    const TerminologySuite& suite() const { return terminology_.suites[0]; }
    const TerminologyEvent& event() const { return suite().events[0]; }

    // Checks one enumeration value by value: name, value, and the name again
    // as the description.
    template <size_t N>
    void expectEnumeration(size_t index, const char* type, const ExpectedValue (&values)[N]) const {
        ASSERT_LT(index, suite().enumerations.size());
        const TerminologyEnumeration& enumeration = suite().enumerations[index];
        EXPECT_EQ(fourCharText(enumeration.type), type);
        ASSERT_EQ(enumeration.values.size(), N) << type;
        for (size_t i = 0; i < N; ++i) {
            SCOPED_TRACE(std::string(type) + " value " + std::to_string(i));
            EXPECT_EQ(enumeration.values[i].name, values[i].name);
            EXPECT_EQ(fourCharText(enumeration.values[i].value), fourCharText(values[i].value));
            EXPECT_EQ(enumeration.values[i].description, values[i].name);
        }
    }

    BuiltModule module_;
    Terminology terminology_;
};

TEST_F(TerminologyTest, FormatVersionAndSuite) {
    EXPECT_EQ(terminology_.prefix, 1);
    EXPECT_EQ(terminology_.majorVersion, 1);
    EXPECT_EQ(terminology_.minorVersion, 0);
    EXPECT_EQ(terminology_.language, 0);
    EXPECT_EQ(terminology_.script, 0);

    EXPECT_EQ(suite().name, "Tallowmere");
    EXPECT_EQ(suite().description, "Quillfire");
    EXPECT_EQ(fourCharText(suite().id), "Zmox");
    EXPECT_EQ(suite().level, 1);
    EXPECT_EQ(suite().version, 1);
    EXPECT_TRUE(suite().classes.empty());
    EXPECT_TRUE(suite().comparisons.empty());
}

TEST_F(TerminologyTest, EventReplyAndDirectParameter) {
    EXPECT_EQ(event().name, "Quillfire");
    EXPECT_EQ(event().description, "Makes color noise");
    EXPECT_EQ(fourCharText(event().eventClass), "Zmox");
    EXPECT_EQ(fourCharText(event().eventId), "Zmox");

    EXPECT_EQ(fourCharText(event().replyType), "null");
    EXPECT_EQ(event().replyDescription, "");
    EXPECT_EQ(event().replyFlags, 0);

    EXPECT_EQ(fourCharText(event().directParameterType), "#ImR");
    EXPECT_EQ(event().directParameterDescription, "");
    EXPECT_EQ(event().directParameterFlags, 0xB000);
}

TEST_F(TerminologyTest, FourteenParametersInKeyOrder) {
    ASSERT_EQ(event().parameters.size(), std::size(kParameters));
    for (size_t i = 0; i < std::size(kParameters); ++i) {
        const ExpectedParameter& expected = kParameters[i];
        const TerminologyParameter& actual = event().parameters[i];
        SCOPED_TRACE(std::string("parameter ") + expected.name);
        EXPECT_EQ(actual.name, expected.name);
        EXPECT_EQ(fourCharText(actual.key), fourCharText(expected.key));
        EXPECT_EQ(fourCharText(actual.type), fourCharText(expected.type));
        EXPECT_EQ(actual.description, expected.name);
        EXPECT_EQ(actual.flags, expected.flags);
    }
}

TEST_F(TerminologyTest, ThreeEnumerationsValueByValue) {
    ASSERT_EQ(suite().enumerations.size(), 3u);
    expectEnumeration(0, "Hsty", kShapes);
    expectEnumeration(1, "Htty", kStripeKinds);

    ExpectedValue glue[std::size(kGlueModes)];
    for (size_t i = 0; i < std::size(kGlueModes); ++i) {
        char code[5];
        std::snprintf(code, sizeof code, "GL%02d", kGlueModes[i].first);
        glue[i] = {kGlueModes[i].second, fourCharCode({code[0], code[1], code[2], code[3], 0})};
    }
    expectEnumeration(2, "GLty", glue);
    EXPECT_EQ(suite().enumerations[2].values.at(25).name, "harsh diff"); // glue mode 26
}

} // namespace
