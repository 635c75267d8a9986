// The readers of this suite face bytes from a file: cut short, with counts
// and lengths that point past the end, or with bytes changed at random, they
// must refuse with a reason and never read outside what they were given.
// The damaged inputs are made from the built module's own resources.
#include "built_module.h"
#include "module_exports_reader.h"
#include "property_list_reader.h"
#include "terminology_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

void putU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void putU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes.at(offset + i)) << (8 * i);
    return value;
}

// The same pseudo-random sequence on every run.
class Mutator {
  public:
    uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }

  private:
    uint32_t state_ = 12345;
};

class MalformedResourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
        ASSERT_TRUE(module_.isOpen());
        auto pipl = module_.resource("PiPL", 16000);
        auto aete = module_.resource("aete", 16000);
        ASSERT_TRUE(pipl && aete);
        propertyList_ = *pipl;
        terminology_ = *aete;
        // The intact resources are accepted; everything below damages them.
        PropertyList list;
        Terminology terminology;
        std::string error;
        ASSERT_TRUE(readPropertyList(propertyList_, list, error)) << error;
        ASSERT_TRUE(readTerminology(terminology_, terminology, error)) << error;
    }

    static bool propertyListAccepted(const std::vector<uint8_t>& bytes,
                                     PropertyStep step = PropertyStep::roundedUp) {
        PropertyList list;
        std::string error;
        bool accepted = readPropertyList(bytes, list, error, step);
        EXPECT_EQ(accepted, error.empty()) << "a refusal must say why: " << error;
        return accepted;
    }
    static bool terminologyAccepted(const std::vector<uint8_t>& bytes) {
        Terminology terminology;
        std::string error;
        bool accepted = readTerminology(bytes, terminology, error);
        EXPECT_EQ(accepted, error.empty()) << "a refusal must say why: " << error;
        return accepted;
    }

    BuiltModule module_;
    std::vector<uint8_t> propertyList_;
    std::vector<uint8_t> terminology_;
};

TEST_F(MalformedResourceTest, EveryTruncationIsRefused) {
    for (size_t size = 0; size < propertyList_.size(); ++size) {
        std::vector<uint8_t> cut(propertyList_.begin(), propertyList_.begin() + size);
        EXPECT_FALSE(propertyListAccepted(cut)) << "property list cut to " << size << " bytes";
        EXPECT_FALSE(propertyListAccepted(cut, PropertyStep::storedLength))
            << "property list cut to " << size << " bytes, stepped by the stored lengths";
    }
    for (size_t size = 0; size < terminology_.size(); ++size) {
        std::vector<uint8_t> cut(terminology_.begin(), terminology_.begin() + size);
        EXPECT_FALSE(terminologyAccepted(cut)) << "terminology cut to " << size << " bytes";
    }
    // One byte too many is refused as well.
    std::vector<uint8_t> longer = propertyList_;
    longer.push_back(0);
    EXPECT_FALSE(propertyListAccepted(longer));
    longer = terminology_;
    longer.push_back(0);
    EXPECT_FALSE(terminologyAccepted(longer));
}

TEST_F(MalformedResourceTest, PropertyListCountsAndLengthsThatDoNotFit) {
    // Header: prefix word at 0, version at 2, count at 6; the first property
    // (kind) starts at 10 with its length at 22; the second (name) at 30
    // with its length (16) at 42, its data at 46 and, counted in that
    // length, the three zero bytes after the string at 59.
    constexpr size_t kCount = 6, kFirstLength = 22, kNameLength = 42, kNameData = 46,
                     kNamePadding = 59;
    const uint32_t count = getU32(propertyList_, kCount);

    for (PropertyStep step : {PropertyStep::roundedUp, PropertyStep::storedLength}) {
        for (uint32_t badCount : {count - 1, count + 1, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
            std::vector<uint8_t> bytes = propertyList_;
            putU32(bytes, kCount, badCount);
            EXPECT_FALSE(propertyListAccepted(bytes, step)) << "count " << badCount;
        }
        for (uint32_t badLength : {0xFFFFFFFCu, 0x7FFFFFF0u, 0x80000000u, 5u, 3u}) {
            std::vector<uint8_t> bytes = propertyList_;
            putU32(bytes, kFirstLength, badLength);
            EXPECT_FALSE(propertyListAccepted(bytes, step)) << "length " << badLength;
        }
    }
    // The zero bytes after the name belong to its data: a byte changed there
    // is no reason to refuse the list, but the name no longer decodes.
    std::vector<uint8_t> dirtyName = propertyList_;
    dirtyName.at(kNamePadding) = 0x20;
    {
        PropertyList list;
        std::string error;
        ASSERT_TRUE(readPropertyList(dirtyName, list, error)) << error;
        EXPECT_FALSE(propertyPascalString(list.properties.at(1).data));
    }
    // Stored without them (13), they are padding a host rounding up skips:
    // accepted when zero, refused when not.
    std::vector<uint8_t> unpadded = propertyList_;
    putU32(unpadded, kNameLength, 13);
    EXPECT_TRUE(propertyListAccepted(unpadded));
    EXPECT_FALSE(propertyListAccepted(unpadded, PropertyStep::storedLength));
    putU32(dirtyName, kNameLength, 13);
    EXPECT_FALSE(propertyListAccepted(dirtyName));

    // A Pascal string whose length byte disagrees with the property length.
    std::vector<uint8_t> longName = propertyList_;
    longName.at(kNameData) = 0xFF;
    PropertyList list;
    std::string error;
    ASSERT_TRUE(readPropertyList(longName, list, error)) << error;
    EXPECT_FALSE(propertyPascalString(list.properties.at(1).data));
}

TEST_F(MalformedResourceTest, PropertyDataOfTheWrongShape) {
    // Strings may be followed by up to three zero bytes, no more and nothing else.
    EXPECT_FALSE(propertyPascalString({}));
    EXPECT_FALSE(propertyPascalString({3, 'a', 'b'}));
    EXPECT_EQ(propertyPascalString({2, 'a', 'b'}), std::optional<std::string>("ab"));
    EXPECT_EQ(propertyPascalString({2, 'a', 'b', 0}), std::optional<std::string>("ab"));
    EXPECT_EQ(propertyPascalString({0, 0, 0, 0}), std::optional<std::string>(""));
    EXPECT_FALSE(propertyPascalString({0, 0, 0, 0, 0}));
    EXPECT_FALSE(propertyPascalString({2, 'a', 'b', 'c'}));
    EXPECT_FALSE(propertyPascalString({1, 'a', 0, 0, 1}));
    EXPECT_FALSE(propertyCString({}));
    EXPECT_FALSE(propertyCString({'a', 'b'}));
    EXPECT_FALSE(propertyCString({'a', 0, 'b', 0}));
    EXPECT_EQ(propertyCString({'a', 'b', 0}), std::optional<std::string>("ab"));
    EXPECT_EQ(propertyCString({'a', 'b', 0, 0, 0, 0}), std::optional<std::string>("ab"));
    EXPECT_FALSE(propertyCString({'a', 'b', 0, 0, 0, 0, 0}));
    EXPECT_FALSE(propertyCString({'a', 'b', 0, 0, 1}));
    EXPECT_FALSE(propertyU32({1, 2, 3}));
    EXPECT_EQ(propertyModeFlags({0x50, 0}), std::optional<uint16_t>(0x5000));
    EXPECT_EQ(propertyModeFlags({0x50, 1, 0, 0}), std::optional<uint16_t>(0x5001));
    EXPECT_FALSE(propertyModeFlags({0x50}));
    EXPECT_FALSE(propertyModeFlags({0x50, 0, 0}));
    EXPECT_FALSE(propertyModeFlags({0x50, 0, 0, 1}));
    EXPECT_FALSE(propertyModeFlags({0x50, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(propertyFilterCases(std::vector<uint8_t>(27, 1)));
    EXPECT_FALSE(propertyTerminology(std::vector<uint8_t>(13, 1)));
    EXPECT_FALSE(
        propertyTerminology(std::vector<uint8_t>(20, 1))); // scope string without terminator
}

TEST_F(MalformedResourceTest, TerminologyCountsThatDoNotFit) {
    constexpr size_t kSuiteCount = 8;
    for (uint16_t badCount : {uint16_t{0}, uint16_t{2}, uint16_t{0x7FFF}, uint16_t{0xFFFF}}) {
        std::vector<uint8_t> bytes = terminology_;
        putU16(bytes, kSuiteCount, badCount);
        EXPECT_FALSE(terminologyAccepted(bytes)) << "suite count " << badCount;
    }
    // The glue enumeration: its type GLty (stored last character first) and
    // its value count.
    const uint8_t glueType[] = {'y', 't', 'L', 'G'};
    auto found = std::search(terminology_.begin(), terminology_.end(), std::begin(glueType),
                             std::end(glueType));
    ASSERT_NE(found, terminology_.end());
    size_t glueCount = static_cast<size_t>(found - terminology_.begin()) + 4;
    for (uint16_t badCount : {uint16_t{60}, uint16_t{62}, uint16_t{0x8000}}) {
        std::vector<uint8_t> bytes = terminology_;
        putU16(bytes, glueCount, badCount);
        EXPECT_FALSE(terminologyAccepted(bytes)) << "glue value count " << badCount;
    }
    // The last description's length byte claims more than is left.
    std::vector<uint8_t> bytes = terminology_;
    const std::string last = "starbright";
    bytes.at(bytes.size() - last.size() - 1) = static_cast<uint8_t>(last.size() + 1);
    EXPECT_FALSE(terminologyAccepted(bytes));
}

TEST_F(MalformedResourceTest, RandomDamageIsRefusedOrReadInBounds) {
    Mutator mutator;
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> pipl = propertyList_;
        std::vector<uint8_t> aete = terminology_;
        for (int hits = 1 + static_cast<int>(mutator.next() % 3); hits > 0; --hits) {
            pipl.at(mutator.next() % pipl.size()) = static_cast<uint8_t>(mutator.next());
            aete.at(mutator.next() % aete.size()) = static_cast<uint8_t>(mutator.next());
        }
        if (mutator.next() % 4 == 0) pipl.resize(mutator.next() % pipl.size());
        if (mutator.next() % 4 == 0) aete.resize(mutator.next() % aete.size());
        refused += propertyListAccepted(pipl) ? 0 : 1;
        refused += terminologyAccepted(aete) ? 0 : 1;
    }
    // Counts, lengths and cut ends are hit often enough that many inputs
    // must be refused; a reader that accepts everything is not checking.
    EXPECT_GT(refused, 1000);
}

TEST(MalformedModuleFile, HeadersAndExportTableThatDoNotFit) {
    ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
    auto file = readBuiltModuleFile();
    ASSERT_TRUE(file);
    const std::vector<uint8_t>& intact = *file;
    ModuleExports exports;
    std::string error;
    ASSERT_TRUE(readModuleExports(intact, exports, error)) << error;

    const size_t peOffset = getU32(intact, 0x3C);
    const size_t optionalHeader = peOffset + 24;
    const bool pe32Plus = exports.pe32Plus;
    const size_t exportDirectory = optionalHeader + (pe32Plus ? 112 : 96);

    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        ModuleExports result;
        std::string reason;
        bool accepted = readModuleExports(bytes, result, reason);
        EXPECT_FALSE(accepted) << what;
        EXPECT_FALSE(reason.empty()) << what;
    };

    for (size_t size : {size_t{0}, size_t{2}, size_t{0x3C}, peOffset + 2, peOffset + 20,
                        optionalHeader + 8, exportDirectory + 4}) {
        refused(std::vector<uint8_t>(intact.begin(),
                                     intact.begin() + static_cast<std::ptrdiff_t>(size)),
                "truncated");
    }
    std::vector<uint8_t> bytes = intact;
    putU32(bytes, 0x3C, 0xFFFFFFF0u);
    refused(bytes, "PE header offset past the end");

    bytes = intact;
    putU32(bytes, peOffset, 0x00004551);
    refused(bytes, "wrong PE signature");

    bytes = intact;
    putU16(bytes, optionalHeader, 0x0107);
    refused(bytes, "unknown optional header magic");

    bytes = intact;
    putU16(bytes, peOffset + 20, 8);
    refused(bytes, "optional header too short for its data directories");

    bytes = intact;
    putU32(bytes, exportDirectory, 0x7FFFFFF0u);
    refused(bytes, "export directory outside every section");
}

} // namespace
