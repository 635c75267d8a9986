// Walking a property list the two ways editors do, over hand-built lists:
// what each way finds, and that bytes from a file (cut short, with counts and
// lengths that do not fit) are refused with a reason and never read beyond.
#include "host/module_loader.h"
#include "host/property_list.h"

#include <gtest/gtest.h>

#include "real_module.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

using namespace std::string_literals;
using host::PropertyListWalk;

constexpr PropertyListWalk kBothWalks[] = {PropertyListWalk::storedLength,
                                           PropertyListWalk::roundedUp};

const char* walkName(PropertyListWalk walk) {
    return walk == PropertyListWalk::storedLength ? "stored length" : "rounded up";
}

std::vector<uint8_t> bytesOf(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

void putU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + size_t(i)) = uint8_t(value >> (8 * i));
}

void appendU32(std::vector<uint8_t>& bytes, uint32_t value) {
    bytes.resize(bytes.size() + 4);
    putU32(bytes, bytes.size() - 4, value);
}

// A property list in the Windows layout, built by hand: each property with
// the length to store and the zero bytes to put after its data.
class ListBuilder {
  public:
    struct Entry {
        uint32_t vendorId;
        uint32_t key;
        int32_t id;
        std::vector<uint8_t> data;
        uint32_t storedLength;
        size_t padding;
    };

    // Data stored with its own length and no padding.
    ListBuilder& add(const char (&key)[5], const std::string& data) {
        return add(key, data, uint32_t(data.size()), 0);
    }
    ListBuilder& add(const char (&key)[5], const std::string& data, uint32_t storedLength,
                     size_t padding) {
        entries_.push_back({host::kPropertyVendor, host::propertyCode(key), 0, bytesOf(data),
                            storedLength, padding});
        return *this;
    }
    std::vector<uint8_t> bytes() const { return bytes(uint32_t(entries_.size())); }
    std::vector<uint8_t> bytes(uint32_t count) const {
        std::vector<uint8_t> out = {1, 0}; // prefix word 1
        appendU32(out, 0);                 // version 0
        appendU32(out, count);
        for (const Entry& e : entries_) {
            appendU32(out, e.vendorId);
            appendU32(out, e.key);
            appendU32(out, uint32_t(e.id));
            appendU32(out, e.storedLength);
            out.insert(out.end(), e.data.begin(), e.data.end());
            out.insert(out.end(), e.padding, 0);
        }
        return out;
    }
    // Offset of the n-th property's stored length in bytes().
    size_t lengthOffset(size_t n) const {
        size_t offset = 10;
        for (size_t i = 0; i < n; ++i) offset += 16 + entries_[i].data.size() + entries_[i].padding;
        return offset + 12;
    }
    const std::vector<Entry>& entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};

// The module's own declaration with every length rounded up to four, the
// padding counted in.
ListBuilder roundedDeclaration() {
    ListBuilder b;
    b.add("kind", "MFB8"s) // the code 8BFM, little-endian
        .add("name", "\x0cQuillfire...\0\0\0"s)
        .add("catg", "\x0aTallowmere\0"s)
        .add("vers", "\0\0\4\0"s)
        .add("wx86", "PluginMain\0\0"s)
        .add("8664", "PluginMain\0\0"s)
        .add("mode", "\x50\0\0\0"s)
        .add("enbl", "in (RGBMode) \0\0\0"s);
    return b;
}

// The same declaration as it used to be stored: each length without the
// zero bytes that follow the data.
ListBuilder unpaddedDeclaration() {
    ListBuilder b;
    b.add("kind", "MFB8"s)
        .add("name", "\x0cQuillfire..."s, 13, 3)
        .add("catg", "\x0aTallowmere"s, 11, 1)
        .add("vers", "\0\0\4\0"s)
        .add("wx86", "PluginMain\0"s, 11, 1)
        .add("8664", "PluginMain\0"s, 11, 1)
        .add("mode", "\x50\0"s, 2, 2)
        .add("enbl", "in (RGBMode) \0"s, 14, 2);
    return b;
}

struct WalkResult {
    bool ok = false;
    std::string error;
    host::PropertyList list;
};

WalkResult walk(const std::vector<uint8_t>& bytes, PropertyListWalk how) {
    WalkResult r;
    r.error = "untouched";
    r.ok = host::walkPropertyList(bytes.data(), bytes.size(), how, r.list, &r.error);
    return r;
}

// Each property's vendor, key, id and data equal what the builder put there
// (data without the padding that follows it).
void expectSameProperties(const host::PropertyList& list, const ListBuilder& built) {
    ASSERT_EQ(list.properties.size(), built.entries().size());
    for (size_t i = 0; i < built.entries().size(); ++i) {
        const auto& want = built.entries()[i];
        const auto& got = list.properties[i];
        SCOPED_TRACE("property " + std::to_string(i) + " " + host::propertyCodeText(want.key));
        EXPECT_EQ(got.vendorId, want.vendorId);
        EXPECT_EQ(got.key, want.key);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.data,
                  std::vector<uint8_t>(want.data.begin(), want.data.begin() + want.storedLength));
    }
}

TEST(PropertyListWalk, RoundedLengthsReadTheSameEitherWay) {
    const ListBuilder built = roundedDeclaration();
    const std::vector<uint8_t> bytes = built.bytes();
    for (PropertyListWalk how : kBothWalks) {
        SCOPED_TRACE(walkName(how));
        WalkResult r = walk(bytes, how);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(r.error.empty());
        EXPECT_EQ(r.list.prefix, 1);
        EXPECT_EQ(r.list.version, 0);
        expectSameProperties(r.list, built);
        std::string error;
        EXPECT_TRUE(host::checkFilterDeclaration(r.list, host::kPropertyEntryPointX86, &error))
            << error;
        EXPECT_TRUE(host::checkFilterDeclaration(r.list, host::kPropertyEntryPointX64, &error))
            << error;
    }
}

TEST(PropertyListWalk, UnpaddedLengthsMisleadAHostThatTrustsThem) {
    const ListBuilder built = unpaddedDeclaration();
    const std::vector<uint8_t> bytes = built.bytes();

    WalkResult rounded = walk(bytes, PropertyListWalk::roundedUp);
    ASSERT_TRUE(rounded.ok) << rounded.error;
    expectSameProperties(rounded.list, built);

    // Stepping by 13 after the name lands three bytes short of the next
    // property: what follows is read from the wrong place.
    WalkResult stored = walk(bytes, PropertyListWalk::storedLength);
    if (stored.ok) {
        ASSERT_EQ(stored.list.properties.size(), built.entries().size());
        EXPECT_NE(stored.list.properties[2].key, host::propertyCode("catg"));
        std::string error;
        EXPECT_FALSE(
            host::checkFilterDeclaration(stored.list, host::kPropertyEntryPointX86, &error));
    } else {
        EXPECT_NE(stored.error.find("property"), std::string::npos) << stored.error;
    }
}

TEST(PropertyListWalk, EveryCutIsRefused) {
    struct Subject {
        ListBuilder built;
        std::vector<PropertyListWalk> walks;
    };
    // The unpadded list cannot be walked by its stored lengths at all.
    const Subject subjects[] = {
        {roundedDeclaration(), {PropertyListWalk::storedLength, PropertyListWalk::roundedUp}},
        {unpaddedDeclaration(), {PropertyListWalk::roundedUp}}};
    for (const Subject& subject : subjects) {
        const std::vector<uint8_t> whole = subject.built.bytes();
        for (PropertyListWalk how : subject.walks) {
            ASSERT_TRUE(walk(whole, how).ok) << walkName(how);
            for (size_t size = 0; size < whole.size(); ++size) {
                // A copy of exactly the cut size, so a read past it is a read
                // outside the allocation.
                std::vector<uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(size));
                WalkResult r = walk(cut, how);
                EXPECT_FALSE(r.ok)
                    << walkName(how) << ": cut to " << size << " of " << whole.size();
                EXPECT_FALSE(r.error.empty() || r.error == "untouched") << "cut to " << size;
                EXPECT_TRUE(r.list.properties.empty()) << "a refused list keeps nothing";
            }
        }
    }
    // No pointer: nothing to read, whatever the size says.
    host::PropertyList list;
    std::string error;
    EXPECT_FALSE(host::walkPropertyList(nullptr, 100, PropertyListWalk::roundedUp, list, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(host::walkPropertyList(nullptr, 0, PropertyListWalk::storedLength, list, nullptr));
}

TEST(PropertyListWalk, NoWalkChosenReadsNothing) {
    const std::vector<uint8_t> bytes = roundedDeclaration().bytes();
    WalkResult r = walk(bytes, PropertyListWalk::none);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.list.properties.empty());
}

TEST(PropertyListWalk, CountsTheBytesCannotHold) {
    const ListBuilder built = roundedDeclaration();
    const uint32_t n = uint32_t(built.entries().size());
    // Huge and negative counts are refused before anything is read or
    // reserved; one too many when the header of the missing property is not
    // there.
    struct Case {
        uint32_t count;
        std::string reason;
    };
    const Case cases[] = {{0x7FFFFFFFu, "count"},
                          {0x80000000u, "negative property count"},
                          {0xFFFFFFFFu, "negative property count"},
                          {0x10000000u, "count"},
                          {n + 1, "property " + std::to_string(n) + ": header cut short"}};
    for (const Case& c : cases) {
        for (PropertyListWalk how : kBothWalks) {
            WalkResult r = walk(built.bytes(c.count), how);
            EXPECT_FALSE(r.ok) << "count " << c.count << ", " << walkName(how);
            EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
        }
    }
    // Fewer properties than the bytes hold: the rest is not looked at, as a
    // host does not look at it.
    WalkResult fewer = walk(built.bytes(n - 1), PropertyListWalk::storedLength);
    ASSERT_TRUE(fewer.ok) << fewer.error;
    EXPECT_EQ(fewer.list.properties.size(), n - 1);
    WalkResult none = walk(built.bytes(0), PropertyListWalk::roundedUp);
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_TRUE(none.list.properties.empty());
    // A header alone holds no property: count 1 is one too many.
    std::vector<uint8_t> header = built.bytes(1);
    header.resize(10);
    EXPECT_FALSE(walk(header, PropertyListWalk::roundedUp).ok);
}

TEST(PropertyListWalk, LengthsThatAreNegativeOrRunPastTheEnd) {
    const ListBuilder built = roundedDeclaration();
    const std::vector<uint8_t> intact = built.bytes();
    const size_t firstLength = built.lengthOffset(0);
    const size_t lastLength = built.lengthOffset(built.entries().size() - 1);
    const uint32_t toTheEnd = uint32_t(intact.size() - (lastLength + 4));
    struct Case {
        size_t offset;
        uint32_t length;
        const char* reason;
    };
    const Case cases[] = {
        {firstLength, 0xFFFFFFFFu, "negative"},
        {firstLength, 0x80000000u, "negative"},
        {firstLength, 0xFFFFFFFCu, "negative"},
        {firstLength, 0x7FFFFFFFu, "past the end"},
        {firstLength, uint32_t(intact.size()), "past the end"},
        {lastLength, toTheEnd + 1, "past the end"},
        {lastLength, 0x7FFFFFFCu, "past the end"},
    };
    for (const Case& c : cases) {
        for (PropertyListWalk how : kBothWalks) {
            std::vector<uint8_t> bytes = intact;
            putU32(bytes, c.offset, c.length);
            WalkResult r = walk(bytes, how);
            EXPECT_FALSE(r.ok) << "length " << c.length << " at " << c.offset << ", "
                               << walkName(how);
            EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
        }
    }
    // The last property's data may end exactly at the end of the bytes.
    for (PropertyListWalk how : kBothWalks) EXPECT_TRUE(walk(intact, how).ok) << walkName(how);
}

TEST(PropertyListWalk, RoundingUpNeedsThePaddingToBeThere) {
    // A last property of five bytes: stepping by the stored length ends at
    // the end of the bytes; rounding up needs three bytes more.
    for (size_t padding = 0; padding <= 3; ++padding) {
        ListBuilder b;
        b.add("kind", "MFB8"s).add("name", "\x04Odd!"s, 5, padding);
        const std::vector<uint8_t> bytes = b.bytes();
        WalkResult stored = walk(bytes, PropertyListWalk::storedLength);
        ASSERT_TRUE(stored.ok) << stored.error;
        expectSameProperties(stored.list, b);
        WalkResult rounded = walk(bytes, PropertyListWalk::roundedUp);
        EXPECT_EQ(rounded.ok, padding == 3) << "padding " << padding << ": " << rounded.error;
        if (rounded.ok) {
            expectSameProperties(rounded.list, b);
        } else {
            EXPECT_NE(rounded.error.find("padding"), std::string::npos) << rounded.error;
        }
    }
    // Lengths of 0 to 8: the next property is found where each walk says.
    for (uint32_t length = 0; length <= 8; ++length) {
        const size_t rounded = (length + 3) / 4 * 4;
        ListBuilder b;
        b.add("name", std::string(length, 'x'), length, rounded - length).add("kind", "MFB8"s);
        WalkResult r = walk(b.bytes(), PropertyListWalk::roundedUp);
        ASSERT_TRUE(r.ok) << "length " << length << ": " << r.error;
        expectSameProperties(r.list, b);
        if (length % 4 == 0) {
            WalkResult s = walk(b.bytes(), PropertyListWalk::storedLength);
            ASSERT_TRUE(s.ok) << "length " << length << ": " << s.error;
            expectSameProperties(s.list, b);
        }
    }
}

struct Declared {
    uint32_t vendorId;
    uint32_t key;
    std::string data;
};

host::PropertyList declaration(const std::vector<Declared>& properties) {
    host::PropertyList list;
    for (const Declared& d : properties)
        list.properties.push_back({d.vendorId, d.key, 0, bytesOf(d.data)});
    return list;
}

TEST(FilterDeclaration, WhatAnEditorChecksBeforeLoading) {
    const uint32_t vendor = host::kPropertyVendor;
    const uint32_t kind = host::kPropertyKind;
    const uint32_t x86 = host::kPropertyEntryPointX86;
    const uint32_t x64 = host::kPropertyEntryPointX64;
    const uint32_t name = host::propertyCode("name");
    const uint32_t otherVendor = host::propertyCode("ABCD");
    struct Case {
        const char* what;
        std::vector<Declared> properties;
        uint32_t entryKey;
        const char* reason; // part of the refusal; null when accepted
    };
    const Case cases[] = {
        {"complete, x86",
         {{vendor, name, "\x01Q"s}, {vendor, kind, "MFB8"s}, {vendor, x86, "PluginMain\0\0"s}},
         x86,
         nullptr},
        {"complete, x64",
         {{vendor, kind, "MFB8"s}, {vendor, x64, "PluginMain\0\0"s}},
         x64,
         nullptr},
        {"unpadded name", {{vendor, kind, "MFB8"s}, {vendor, x86, "PluginMain\0"s}}, x86, nullptr},
        {"bytes after the terminator and the code",
         {{vendor, x86, "PluginMain\0junk"s}, {vendor, kind, "MFB8\0\0\0\0"s}},
         x86,
         nullptr},
        {"nothing at all", {}, x86, "no kind"},
        {"no kind", {{vendor, x86, "PluginMain\0"s}}, x86, "no kind"},
        {"kind of another vendor",
         {{otherVendor, kind, "MFB8"s}, {vendor, x86, "PluginMain\0"s}},
         x86,
         "no kind"},
        {"kind cut short",
         {{vendor, kind, "MFB"s}, {vendor, x86, "PluginMain\0"s}},
         x86,
         "four-character"},
        {"kind empty",
         {{vendor, kind, ""s}, {vendor, x86, "PluginMain\0"s}},
         x86,
         "four-character"},
        {"kind of another module",
         {{vendor, kind, "MEB8"s}, {vendor, x86, "PluginMain\0"s}},
         x86,
         "not a filter"},
        {"kind stored first character first",
         {{vendor, kind, "8BFM"s}, {vendor, x86, "PluginMain\0"s}},
         x86,
         "not a filter"},
        {"entry point only for the other architecture",
         {{vendor, kind, "MFB8"s}, {vendor, x64, "PluginMain\0"s}},
         x86,
         "no entry point for wx86"},
        {"entry point only for x86",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "PluginMain\0"s}},
         x64,
         "no entry point for 8664"},
        {"entry point of another vendor",
         {{vendor, kind, "MFB8"s}, {otherVendor, x86, "PluginMain\0"s}},
         x86,
         "no entry point"},
        {"name without terminator",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "PluginMain"s}},
         x86,
         "no terminated"},
        {"empty data", {{vendor, kind, "MFB8"s}, {vendor, x86, ""s}}, x86, "no terminated"},
        {"empty name",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "\0PluginMain\0"s}},
         x86,
         "names \"\""},
        {"longer name",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "PluginMainX\0"s}},
         x86,
         "names \"PluginMainX\""},
        {"other case",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "pluginmain\0"s}},
         x86,
         "not \"PluginMain\""},
        {"unprintable name",
         {{vendor, kind, "MFB8"s}, {vendor, x86, "\x01\x7fMain\0"s}},
         x86,
         "names \"??Main\""},
    };
    for (const Case& c : cases) {
        std::string error = "untouched";
        const bool accepted =
            host::checkFilterDeclaration(declaration(c.properties), c.entryKey, &error);
        if (!c.reason) {
            EXPECT_TRUE(accepted) << c.what << ": " << error;
            EXPECT_TRUE(error.empty()) << c.what;
        } else {
            EXPECT_FALSE(accepted) << c.what;
            EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        }
    }
    // A very long name is shortened in the message.
    const std::string longName(5000, 'x');
    std::string error;
    EXPECT_FALSE(host::checkFilterDeclaration(
        declaration({{vendor, kind, "MFB8"s}, {vendor, x86, longName + "\0"s}}), x86, &error));
    EXPECT_LT(error.size(), 200u) << error;
}

TEST(FilterDeclaration, EntryPointKeyOfThisBuild) {
    EXPECT_EQ(host::propertyCodeText(host::entryPointPropertyKey()),
              sizeof(void*) == 8 ? "8664" : "wx86");
    EXPECT_EQ(host::propertyCodeText(host::propertyCode("8BIM")), "8BIM");
    EXPECT_EQ(host::propertyCodeText(0x41000142u), "A??B");
}

using qftest::nativePath;
std::string modulePath() {
    return hosttest::realModulePath();
}

TEST(ModuleLoadChecked, TheModuleDeclaresItselfForEveryWalk) {
    const std::string path = modulePath();
    ASSERT_FALSE(path.empty());
    for (PropertyListWalk how :
         {PropertyListWalk::none, PropertyListWalk::storedLength, PropertyListWalk::roundedUp}) {
        std::string error;
        auto module = host::Module::load(path, &error, how);
        ASSERT_NE(module, nullptr) << path << ": " << error;
        EXPECT_NE(module->entry(), nullptr);
    }
}

#ifdef QF_HOST_TEST_MODULE
// A module that exports PluginMain but carries no property list: loaded
// unchecked; checked, refused on Windows and loaded on Linux, whose shared
// libraries carry no property list to check.
TEST(ModuleLoadChecked, AModuleWithoutPropertyList) {
    const std::string path = nativePath(QF_HOST_TEST_MODULE);
    std::string error;
    auto unchecked = host::Module::load(path, &error);
    ASSERT_NE(unchecked, nullptr) << path << ": " << error;
    unchecked.reset();
    for (PropertyListWalk how : kBothWalks) {
        error.clear();
        auto module = host::Module::load(path, &error, how);
#ifdef _WIN32
        EXPECT_EQ(module, nullptr) << walkName(how);
        EXPECT_NE(error.find("no property list"), std::string::npos) << error;
#else
        EXPECT_NE(module, nullptr) << walkName(how) << ": " << error;
#endif
    }
}
#endif

} // namespace
