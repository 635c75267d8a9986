// The property list a host reads from the built module: every property, in
// order, with its exact bytes, found the same by hosts that step by the
// stored lengths and by hosts that round them up.
#include "built_module.h"
#include "four_char_code.h"
#include "host/property_list.h"
#include "property_list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qf {}
using namespace qf;

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
        bytes_ = *bytes;
        std::string error;
        ASSERT_TRUE(readPropertyList(bytes_, list_, error)) << error;
    }

    // The data of the n-th property with this key (counting from 0).
    const std::vector<uint8_t>* data(uint32_t key, int occurrence = 0) const {
        for (const PropertyListEntry& entry : list_.properties) {
            if (entry.key == key && occurrence-- == 0) return &entry.data;
        }
        return nullptr;
    }

    BuiltModule module_;
    std::vector<uint8_t> bytes_;
    PropertyList list_;
};

TEST_F(PropertyListTest, HeaderAndPropertiesInOrder) {
    EXPECT_EQ(list_.prefix, 1);
    EXPECT_EQ(list_.version, 0);

    std::vector<uint32_t> expected = {fourCharCode("kind"), fourCharCode("name"),
                                      fourCharCode("catg"), fourCharCode("vers"),
                                      fourCharCode("wx86")};
    if (kModuleIs64Bit) expected.push_back(fourCharCode("8664"));
    for (uint32_t key : {fourCharCode("hstm"), fourCharCode("mode"), fourCharCode("enbl"),
                         fourCharCode("enbl"), fourCharCode("fici")}) {
        expected.push_back(key);
    }
    std::vector<std::string> expectedKeys, actualKeys;
    for (uint32_t key : expected) expectedKeys.push_back(fourCharText(key));
    for (const PropertyListEntry& entry : list_.properties)
        actualKeys.push_back(fourCharText(entry.key));
    EXPECT_EQ(actualKeys, expectedKeys);

    for (const PropertyListEntry& entry : list_.properties) {
        EXPECT_EQ(fourCharText(entry.vendorId), "8BIM") << "property " << fourCharText(entry.key);
        EXPECT_EQ(entry.id, 0) << "property " << fourCharText(entry.key);
    }
}

TEST_F(PropertyListTest, EveryLengthIsStoredRoundedUpToFour) {
    // The padding is counted in: a host stepping by the stored length lands
    // where one rounding up does.
    std::vector<std::pair<std::string, uint32_t>> expected = {
        {"kind", 4}, {"name", 16}, {"catg", 12}, {"vers", 4}, {"wx86", 12}};
    if (kModuleIs64Bit) expected.push_back({"8664", 12});
    for (auto item : std::vector<std::pair<std::string, uint32_t>>{
             {"hstm", 36}, {"mode", 4}, {"enbl", 72}, {"enbl", 140}, {"fici", 28}}) {
        expected.push_back(item);
    }
    std::vector<std::pair<std::string, uint32_t>> actual;
    for (const PropertyListEntry& entry : list_.properties) {
        actual.push_back({fourCharText(entry.key), entry.storedLength});
        EXPECT_EQ(entry.storedLength % 4, 0u) << fourCharText(entry.key);
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(PropertyListTest, HostsSteppingEitherWayFindEveryProperty) {
    // This suite's reader, stepping by the stored lengths, must read exactly
    // what it reads rounding up (the fixture); and so must the host
    // library's walker, either way.
    PropertyList stored;
    std::string error;
    ASSERT_TRUE(readPropertyList(bytes_, stored, error, PropertyStep::storedLength)) << error;
    ASSERT_EQ(stored.properties.size(), list_.properties.size());
    for (size_t i = 0; i < list_.properties.size(); ++i) {
        const PropertyListEntry& a = list_.properties[i];
        const PropertyListEntry& b = stored.properties[i];
        SCOPED_TRACE("property " + std::to_string(i) + " " + fourCharText(a.key));
        EXPECT_EQ(b.vendorId, a.vendorId);
        EXPECT_EQ(b.key, a.key);
        EXPECT_EQ(b.id, a.id);
        EXPECT_EQ(b.data, a.data);
    }

    for (host::PropertyListWalk walk :
         {host::PropertyListWalk::storedLength, host::PropertyListWalk::roundedUp}) {
        SCOPED_TRACE(walk == host::PropertyListWalk::storedLength ? "host walk by stored length"
                                                                  : "host walk rounding up");
        host::PropertyList walked;
        ASSERT_TRUE(host::walkPropertyList(bytes_.data(), bytes_.size(), walk, walked, &error))
            << error;
        EXPECT_EQ(walked.prefix, list_.prefix);
        EXPECT_EQ(walked.version, list_.version);
        ASSERT_EQ(walked.properties.size(), list_.properties.size());
        for (size_t i = 0; i < list_.properties.size(); ++i) {
            const PropertyListEntry& a = list_.properties[i];
            const host::Property& b = walked.properties[i];
            SCOPED_TRACE("property " + std::to_string(i) + " " + fourCharText(a.key));
            EXPECT_EQ(b.vendorId, a.vendorId);
            EXPECT_EQ(b.key, a.key);
            EXPECT_EQ(b.id, a.id);
            EXPECT_EQ(b.data, a.data);
        }
        // What an editor checks before loading: a filter, with this
        // architecture's entry point.
        EXPECT_TRUE(host::checkFilterDeclaration(walked, host::entryPointPropertyKey(), &error))
            << error;
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
    EXPECT_EQ(propertyU32(*version),
              std::optional<uint32_t>(0x00040000u)); // 4.0: major in the high word
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
    const std::string first =
        "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ";
    const std::string second = "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, "
                               "Gray16Mode, Gray32Mode, RGB96Mode) ) "
                               "&& (PSHOP_ImageMode !=  MultichannelMode) ";
    const auto* one = data(fourCharCode("enbl"), 0);
    const auto* two = data(fourCharCode("enbl"), 1);
    ASSERT_TRUE(one);
    ASSERT_TRUE(two);
    // Each with its terminator and the zero bytes up to a multiple of four.
    std::vector<uint8_t> firstBytes(first.begin(), first.end());
    firstBytes.insert(firstBytes.end(), 4, 0);
    std::vector<uint8_t> secondBytes(second.begin(), second.end());
    secondBytes.insert(secondBytes.end(), 3, 0);
    ASSERT_EQ(firstBytes.size(), 72u);
    ASSERT_EQ(secondBytes.size(), 140u);
    EXPECT_EQ(*one, firstBytes);
    EXPECT_EQ(*two, secondBytes);
    EXPECT_EQ(propertyCString(*one), std::optional<std::string>(first));
    EXPECT_EQ(propertyCString(*two), std::optional<std::string>(second));
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
