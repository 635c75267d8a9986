// The property list a host reads from the built module: every property, in
// order, with its exact bytes.
#include "built_module.h"
#include "four_char_code.h"
#include "property_list_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kPropertyListId = 16000;
// The test is built by the same toolchain as the module it reads.
constexpr bool kModuleIs64Bit = sizeof(void*) == 8;

class PropertyListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
        ASSERT_TRUE(module_.isOpen()) << "cannot open " << builtModulePath() << " as a data file";
        auto bytes = module_.resource("PiPL", kPropertyListId);
        ASSERT_TRUE(bytes) << "the module has no PiPL resource " << kPropertyListId;
        std::string error;
        ASSERT_TRUE(readPropertyList(*bytes, list_, error)) << error;
    }

    // The data of the n-th property with this key (counting from 0).
    const std::vector<uint8_t>* data(uint32_t key, int occurrence = 0) const {
        for (const PropertyListEntry& entry : list_.properties) {
            if (entry.key == key && occurrence-- == 0) return &entry.data;
        }
        return nullptr;
    }

    BuiltModule module_;
    PropertyList list_;
};

TEST_F(PropertyListTest, HeaderAndPropertiesInOrder) {
    EXPECT_EQ(list_.prefix, 1);
    EXPECT_EQ(list_.version, 0);

    std::vector<uint32_t> expected = {fourCharCode("kind"), fourCharCode("name"), fourCharCode("catg"),
                                      fourCharCode("vers"), fourCharCode("wx86")};
    if (kModuleIs64Bit) expected.push_back(fourCharCode("8664"));
    for (uint32_t key : {fourCharCode("hstm"), fourCharCode("mode"), fourCharCode("enbl"),
                         fourCharCode("enbl"), fourCharCode("fici")}) {
        expected.push_back(key);
    }
    std::vector<std::string> expectedKeys, actualKeys;
    for (uint32_t key : expected) expectedKeys.push_back(fourCharText(key));
    for (const PropertyListEntry& entry : list_.properties) actualKeys.push_back(fourCharText(entry.key));
    EXPECT_EQ(actualKeys, expectedKeys);

    for (const PropertyListEntry& entry : list_.properties) {
        EXPECT_EQ(fourCharText(entry.vendorId), "8BIM") << "property " << fourCharText(entry.key);
        EXPECT_EQ(entry.id, 0) << "property " << fourCharText(entry.key);
    }
}

TEST_F(PropertyListTest, KindNameCategoryAndVersion) {
    const auto* kind = data(fourCharCode("kind"));
    ASSERT_TRUE(kind);
    auto kindCode = propertyU32(*kind);
    ASSERT_TRUE(kindCode);
    EXPECT_EQ(fourCharText(*kindCode), "8BFM"); // a filter

    const auto* name = data(fourCharCode("name"));
    ASSERT_TRUE(name);
    EXPECT_EQ(propertyPascalString(*name), std::optional<std::string>("Quillfire..."));

    const auto* category = data(fourCharCode("catg"));
    ASSERT_TRUE(category);
    EXPECT_EQ(propertyPascalString(*category), std::optional<std::string>("Tallowmere"));

    const auto* version = data(fourCharCode("vers"));
    ASSERT_TRUE(version);
    EXPECT_EQ(propertyU32(*version), std::optional<uint32_t>(0x00040000u)); // 4.0: major in the high word
}

TEST_F(PropertyListTest, EntryPointsOfTheModulesArchitecture) {
    const auto* x86 = data(fourCharCode("wx86"));
    ASSERT_TRUE(x86);
    EXPECT_EQ(propertyCString(*x86), std::optional<std::string>("PluginMain"));

    const auto* x64 = data(fourCharCode("8664"));
    if (kModuleIs64Bit) {
        ASSERT_TRUE(x64) << "the 64-bit module lacks its x64 entry point";
        EXPECT_EQ(propertyCString(*x64), std::optional<std::string>("PluginMain"));
    } else {
        EXPECT_FALSE(x64) << "the 32-bit module declares an x64 entry point";
    }
}

TEST_F(PropertyListTest, TerminologyReference) {
    const auto* raw = data(fourCharCode("hstm"));
    ASSERT_TRUE(raw);
    auto terminology = propertyTerminology(*raw);
    ASSERT_TRUE(terminology) << "malformed terminology property";
    EXPECT_EQ(terminology->version, 0);
    EXPECT_EQ(fourCharText(terminology->classId), "Zmox");
    EXPECT_EQ(fourCharText(terminology->eventId), "Zmox");
    EXPECT_EQ(terminology->resourceId, 16000);
    EXPECT_EQ(terminology->scope, "Tallowmere Quillfire");
}

TEST_F(PropertyListTest, GrayscaleAndRgbModesOnly) {
    const auto* raw = data(fourCharCode("mode"));
    ASSERT_TRUE(raw);
    auto flags = propertyModeFlags(*raw);
    ASSERT_TRUE(flags) << "the mode flags are not a 16-bit field";
    constexpr uint16_t kGrayscale = 0x4000;
    constexpr uint16_t kRgb = 0x1000;
    EXPECT_EQ(*flags, kGrayscale | kRgb) << std::hex << *flags;
}

TEST_F(PropertyListTest, EnableConditionsByteForByte) {
    const std::string first = "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ";
    const std::string second =
        "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) "
        "&& (PSHOP_ImageMode !=  MultichannelMode) ";
    const auto* one = data(fourCharCode("enbl"), 0);
    const auto* two = data(fourCharCode("enbl"), 1);
    ASSERT_TRUE(one);
    ASSERT_TRUE(two);
    std::vector<uint8_t> firstBytes(first.begin(), first.end());
    firstBytes.push_back(0);
    std::vector<uint8_t> secondBytes(second.begin(), second.end());
    secondBytes.push_back(0);
    EXPECT_EQ(*one, firstBytes);
    EXPECT_EQ(*two, secondBytes);
    EXPECT_FALSE(data(fourCharCode("enbl"), 2)) << "more than two enable conditions";
}

TEST_F(PropertyListTest, SevenFilterCases) {
    const auto* raw = data(fourCharCode("fici"));
    ASSERT_TRUE(raw);
    auto cases = propertyFilterCases(*raw);
    ASSERT_TRUE(cases) << "the filter case info is not seven 4-byte cases";
    constexpr uint8_t kBlackMatted = 2;
    constexpr uint8_t kStraight = 1;
    constexpr uint8_t kDoNotCopySource = 0x01;
    constexpr uint8_t kWorksWithBlankData = 0x02;
    for (size_t i = 0; i < cases->size(); ++i) {
        const FilterCaseInfo& info = (*cases)[i];
        SCOPED_TRACE("filter case " + std::to_string(i + 1));
        EXPECT_EQ(info.inputHandling, kBlackMatted);
        EXPECT_EQ(info.outputHandling, kStraight);
        uint8_t flags = i == 0 ? kDoNotCopySource : kDoNotCopySource | kWorksWithBlankData;
        EXPECT_EQ(info.flags1, flags);
        EXPECT_EQ(info.flags2, 0);
    }
}

} // namespace
