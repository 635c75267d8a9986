#include "host/descriptor.h"
#include "host/descriptor_suite.h"
#include "host/handle_suite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace qf {}
using namespace qf;

using host::Descriptor;

namespace {

Descriptor everyType() {
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL07"))
        .putInteger(fourCC("0002"), -12345)
        .putFloat(fourCC("flt "), 2.5)
        .putUnitFloat(fourCC("unf "), fourCC("#Pxl"), -0.125)
        .putBoolean(fourCC("bool"), true)
        .putText(fourCC("text"), "Tallowmere")
        .putClass(fourCC("clss"), fourCC("Zmox"))
        .putOpaque(fourCC("alis"), host::typeAlias, std::string("\0\1\2", 3));
    return d;
}

TEST(Descriptor, SerialisesEveryTypeAndParsesBack) {
    Descriptor d = everyType();
    std::vector<uint8_t> bytes = d.serialize();
    Descriptor back;
    ASSERT_TRUE(Descriptor::parse(bytes.data(), bytes.size(), back));
    ASSERT_EQ(back.size(), d.size());
    for (size_t i = 0; i < d.size(); ++i) EXPECT_TRUE(back.items()[i] == d.items()[i]) << i;
    EXPECT_EQ(back.integer(fourCC("0002")), -12345);
    EXPECT_EQ(back.enumerated(fourCC("GLUE")), fourCC("GL07"));
    EXPECT_EQ(back.number(fourCC("unf ")), -0.125);
    EXPECT_EQ(back.boolean(fourCC("bool")), true);
    EXPECT_FALSE(back.integer(fourCC("GLUE"))) << "typed access does not coerce";
    EXPECT_FALSE(back.integer(fourCC("none")));

    Handle h = d.toHandle();
    ASSERT_NE(h, nullptr);
    Descriptor viaHandle;
    EXPECT_TRUE(Descriptor::fromHandle(h, viaHandle));
    EXPECT_EQ(viaHandle.size(), d.size());
    host::disposeHandle(h);
    EXPECT_FALSE(Descriptor::fromHandle(h, viaHandle)) << "a disposed handle is not read";
}

TEST(Descriptor, RefusesEveryTruncationAndMalformedInput) {
    std::vector<uint8_t> bytes = everyType().serialize();
    Descriptor out;
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(Descriptor::parse(bytes.data(), n, out)) << "truncated at " << n;
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(Descriptor::parse(longer.data(), longer.size(), out)) << "trailing bytes";
    std::vector<uint8_t> badMagic = bytes;
    badMagic[0] ^= 1;
    EXPECT_FALSE(Descriptor::parse(badMagic.data(), badMagic.size(), out));
    std::vector<uint8_t> hugeCount = bytes;
    hugeCount[4] = hugeCount[5] = hugeCount[6] = hugeCount[7] = 0xFF;
    EXPECT_FALSE(Descriptor::parse(hugeCount.data(), hugeCount.size(), out));
    EXPECT_TRUE(out.empty()) << "a refused parse leaves the output alone";

    // Random corruption never crashes and never yields more items than bytes allow.
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 3; ++k) b[rng() % b.size()] = uint8_t(rng());
        Descriptor d;
        if (Descriptor::parse(b.data(), b.size(), d)) {
            EXPECT_LE(d.size() * 9, b.size());
        }
    }
}

// The suites as a module sees them.
class DescriptorSuites : public testing::Test {
  protected:
    void SetUp() override {
        host::fillReadDescriptorProcs(read, options);
        host::fillWriteDescriptorProcs(write, options);
        host::beginDescriptorSession(&record);
    }
    void TearDown() override { host::endDescriptorSession(); }

    host::DescriptorSuiteOptions options;
    ReadDescriptorProcs read{};
    WriteDescriptorProcs write{};
    host::DescriptorRecord record;
};

TEST_F(DescriptorSuites, ReadWalksEveryKeyWithTypedGetters) {
    Handle h = everyType().toHandle();
    DescriptorKeyID keys[] = {fourCC("GLUE"), fourCC("0002"), 0};
    PIReadDescriptor token = read.openReadDescriptorProc(h, keys);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(record.keyList, (std::vector<DescriptorKeyID>{fourCC("GLUE"), fourCC("0002")}));

    DescriptorKeyID key = 0;
    DescType type = 0;
    int32 flags = -1;
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags));
    EXPECT_EQ(key, fourCC("GLUE"));
    EXPECT_EQ(type, typeEnumerated);
    EXPECT_EQ(flags, 0);
    DescEnum e = 0;
    EXPECT_EQ(read.getEnumeratedProc(token, &e), noErr);
    EXPECT_EQ(e, fourCC("GL07"));
    int32 wrong = 0;
    EXPECT_EQ(read.getIntegerProc(token, &wrong), host::kWrongTypeErr);

    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags));
    int32 v = 0;
    EXPECT_EQ(read.getIntegerProc(token, &v), noErr);
    EXPECT_EQ(v, -12345);
    EXPECT_EQ(read.getPinnedIntegerProc(token, 0, 100, &v), noErr);
    EXPECT_EQ(v, 0);
    double f = 0;
    EXPECT_EQ(read.getFloatProc(token, &f), noErr) << "an integer reads as a float";
    EXPECT_EQ(f, -12345.0);

    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // float
    double lo = 0, hi = 2;
    EXPECT_EQ(read.getPinnedFloatProc(token, &lo, &hi, &f), noErr);
    EXPECT_EQ(f, 2.0);
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // unit float
    DescUnitID unit = 0;
    EXPECT_EQ(read.getUnitFloatProc(token, &unit, &f), noErr);
    EXPECT_EQ(unit, fourCC("#Pxl"));
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // boolean
    Boolean b = 0;
    EXPECT_EQ(read.getBooleanProc(token, &b), noErr);
    EXPECT_EQ(b, 1);
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // text
    Handle text = nullptr;
    EXPECT_EQ(read.getTextProc(token, &text), noErr);
    ASSERT_TRUE(host::isLiveHandle(text));
    EXPECT_EQ(std::string(*text, size_t(host::handleSize(text))), "Tallowmere");
    host::disposeHandle(text);
    Str255 pascal = {};
    EXPECT_EQ(read.getStringProc(token, &pascal), noErr);
    EXPECT_EQ(pascal[0], 10);
    EXPECT_EQ(std::memcmp(&pascal[1], "Tallowmere", 10), 0);
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // class
    DescClassID cls = 0;
    EXPECT_EQ(read.getClassProc(token, &cls), noErr);
    EXPECT_EQ(cls, fourCC("Zmox"));
    ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags)); // alias
    EXPECT_FALSE(read.getKeyProc(token, &key, &type, &flags)) << "no more keys";
    EXPECT_EQ(read.getIntegerProc(token, &v), paramErr) << "no current key after the end";

    EXPECT_EQ(read.closeReadDescriptorProc(token), noErr);
    EXPECT_EQ(record.readOpens, 1);
    EXPECT_EQ(record.readCloses, 1);
    EXPECT_EQ(record.keysRead.size(), 8u);
    host::disposeHandle(h);
}

TEST_F(DescriptorSuites, OpenYieldsNoTokenForNothingToRead) {
    EXPECT_EQ(read.openReadDescriptorProc(nullptr, nullptr), nullptr);
    Handle garbage = host::newHandle(12);
    EXPECT_EQ(read.openReadDescriptorProc(garbage, nullptr), nullptr) << "malformed content";
    host::disposeHandle(garbage);
    Handle empty = Descriptor().toHandle();
    PIReadDescriptor token = read.openReadDescriptorProc(empty, nullptr);
    ASSERT_NE(token, nullptr) << "an empty descriptor is still a descriptor";
    DescriptorKeyID key;
    DescType type;
    int32 flags;
    EXPECT_FALSE(read.getKeyProc(token, &key, &type, &flags));
    read.closeReadDescriptorProc(token);
    host::disposeHandle(empty);
    EXPECT_EQ(record.readOpens, 3);
    EXPECT_EQ(record.readTokens, 1);
}

TEST_F(DescriptorSuites, WriteBuildsTheDescriptorInOrder) {
    PIWriteDescriptor token = write.openWriteDescriptorProc();
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(write.putEnumeratedProc(token, fourCC("GLUE"), fourCC("GLty"), fourCC("GL64")),
              noErr);
    EXPECT_EQ(write.putIntegerProc(token, fourCC("0014"), 2047), noErr);
    double d = 0.5;
    EXPECT_EQ(write.putFloatProc(token, fourCC("flt "), &d), noErr);
    EXPECT_EQ(write.putFloatProc(token, fourCC("flt "), nullptr), paramErr);
    EXPECT_EQ(write.putBooleanProc(token, fourCC("bool"), 1), noErr);
    const unsigned char pascal[] = "\x03"
                                   "abc";
    EXPECT_EQ(write.putStringProc(token, fourCC("strg"), pascal), noErr);
    EXPECT_EQ(write.putCountProc(token, fourCC("cnt "), 3), noErr);
    PIDescriptorHandle out = nullptr;
    EXPECT_EQ(write.closeWriteDescriptorProc(token, &out), noErr);
    ASSERT_TRUE(host::isLiveHandle(out));
    Descriptor back;
    ASSERT_TRUE(Descriptor::fromHandle(out, back));
    ASSERT_EQ(back.size(), 6u);
    EXPECT_EQ(back.items()[0].key, fourCC("GLUE"));
    EXPECT_EQ(back.items()[0].enumType, fourCC("GLty"));
    EXPECT_EQ(back.enumerated(fourCC("GLUE")), fourCC("GL64"));
    EXPECT_EQ(back.integer(fourCC("0014")), 2047);
    EXPECT_EQ(back.items()[4].bytes, "abc");
    EXPECT_EQ(back.integer(fourCC("cnt ")), 3);
    host::disposeHandle(out);
    EXPECT_EQ(write.closeWriteDescriptorProc(token, &out), paramErr) << "a token closes once";
}

TEST_F(DescriptorSuites, BadTokensAreRefusedAndOpenTokensClosedAtTheEnd) {
    int junk[8] = {};
    auto* fakeRead = reinterpret_cast<PIReadDescriptor>(junk);
    auto* fakeWrite = reinterpret_cast<PIWriteDescriptor>(junk);
    DescriptorKeyID key;
    DescType type;
    int32 flags, v;
    EXPECT_FALSE(read.getKeyProc(fakeRead, &key, &type, &flags));
    EXPECT_EQ(read.getIntegerProc(fakeRead, &v), paramErr);
    EXPECT_EQ(read.closeReadDescriptorProc(fakeRead), paramErr);
    EXPECT_EQ(write.putIntegerProc(fakeWrite, 1, 2), paramErr);
    EXPECT_EQ(write.closeWriteDescriptorProc(nullptr, nullptr), paramErr);
    EXPECT_EQ(record.badTokens, 5);

    Handle h = Descriptor().putInteger(1, 2).toHandle();
    read.openReadDescriptorProc(h, nullptr);
    write.openWriteDescriptorProc();
    host::endDescriptorSession();
    EXPECT_EQ(record.tokensLeftOpen, 2);
    host::beginDescriptorSession(&record);
    host::disposeHandle(h);
}

TEST_F(DescriptorSuites, NullOutPointersAreRefusedAndNothingIsWrittenOrConsumed) {
    // One item of every type a getter reads, each read first through null
    // out-pointers (refused, the walk and the value untouched), then for real.
    PIDescriptorSimpleReference ref{};
    ref.keyData.index = 7;
    Descriptor d;
    d.putInteger(fourCC("intg"), 42)
        .putFloat(fourCC("flt "), 2.5)
        .putUnitFloat(fourCC("unf "), fourCC("#Pxl"), -0.5)
        .putBoolean(fourCC("bool"), true)
        .putText(fourCC("text"), "abc")
        .putOpaque(fourCC("alis"), host::typeAlias, "xy")
        .putEnumerated(fourCC("enum"), fourCC("GLty"), fourCC("GL07"))
        .putClass(fourCC("clss"), fourCC("Zmox"))
        .putOpaque(fourCC("objc"), host::typeObject, "obj")
        .putOpaque(fourCC("ref "), host::typeObjectReference,
                   std::string(reinterpret_cast<const char*>(&ref), sizeof ref));
    Handle h = d.toHandle();
    PIReadDescriptor token = read.openReadDescriptorProc(h, nullptr);
    ASSERT_NE(token, nullptr);
    const int64_t handlesBefore = host::handleStats().live;

    DescriptorKeyID key = 0;
    DescType type = 0;
    int32 flags = 0;
    EXPECT_FALSE(read.getKeyProc(token, nullptr, &type, &flags));
    EXPECT_FALSE(read.getKeyProc(token, &key, nullptr, &flags));
    EXPECT_FALSE(read.getKeyProc(token, &key, &type, nullptr));
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(type, 0u);
    EXPECT_TRUE(record.keysRead.empty());
    auto next = [&](DescriptorKeyID want) {
        ASSERT_TRUE(read.getKeyProc(token, &key, &type, &flags));
        ASSERT_EQ(key, want) << "refused calls did not move the walk";
    };

    next(fourCC("intg"));
    const double lo = 0, hi = 10;
    EXPECT_EQ(read.getIntegerProc(token, nullptr), paramErr);
    EXPECT_EQ(read.getPinnedIntegerProc(token, 0, 10, nullptr), paramErr);
    EXPECT_EQ(read.getCountProc(token, nullptr), paramErr);
    EXPECT_EQ(read.getFloatProc(token, nullptr), paramErr);
    EXPECT_EQ(read.getPinnedFloatProc(token, &lo, &hi, nullptr), paramErr);
    int32 i = 0;
    EXPECT_EQ(read.getPinnedIntegerProc(token, 0, 10, &i), noErr);
    EXPECT_EQ(i, 10);
    uint32 count = 0;
    EXPECT_EQ(read.getCountProc(token, &count), noErr);
    EXPECT_EQ(count, 42u);

    next(fourCC("flt "));
    double f = 0;
    EXPECT_EQ(read.getPinnedFloatProc(token, &lo, &hi, nullptr), paramErr);
    EXPECT_EQ(read.getPinnedFloatProc(token, nullptr, nullptr, &f), noErr) << "bounds are optional";
    EXPECT_EQ(f, 2.5);

    next(fourCC("unf "));
    DescUnitID unit = 0;
    f = 99;
    EXPECT_EQ(read.getUnitFloatProc(token, nullptr, &f), paramErr);
    EXPECT_EQ(read.getUnitFloatProc(token, &unit, nullptr), paramErr);
    EXPECT_EQ(read.getPinnedUnitFloatProc(token, &lo, &hi, nullptr, &f), paramErr);
    EXPECT_EQ(read.getPinnedUnitFloatProc(token, &lo, &hi, &unit, nullptr), paramErr);
    EXPECT_EQ(unit, 0u);
    EXPECT_EQ(f, 99.0);
    EXPECT_EQ(read.getUnitFloatProc(token, &unit, &f), noErr);
    EXPECT_EQ(unit, fourCC("#Pxl"));
    EXPECT_EQ(f, -0.5);
    EXPECT_EQ(read.getPinnedUnitFloatProc(token, &lo, &hi, &unit, &f), noErr);
    EXPECT_EQ(f, 0.0) << "pinned to the lower bound";

    next(fourCC("bool"));
    EXPECT_EQ(read.getBooleanProc(token, nullptr), paramErr);
    next(fourCC("text"));
    EXPECT_EQ(read.getTextProc(token, nullptr), paramErr);
    EXPECT_EQ(read.getStringProc(token, nullptr), paramErr);
    next(fourCC("alis"));
    EXPECT_EQ(read.getAliasProc(token, nullptr), paramErr);
    next(fourCC("enum"));
    EXPECT_EQ(read.getEnumeratedProc(token, nullptr), paramErr);
    next(fourCC("clss"));
    EXPECT_EQ(read.getClassProc(token, nullptr), paramErr);
    next(fourCC("objc"));
    DescClassID cls = 0;
    PIDescriptorHandle object = nullptr;
    EXPECT_EQ(read.getObjectProc(token, nullptr, &object), paramErr);
    EXPECT_EQ(read.getObjectProc(token, &cls, nullptr), paramErr);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(host::handleStats().live, handlesBefore) << "no handle made for a refused call";
    next(fourCC("ref "));
    EXPECT_EQ(read.getSimpleReferenceProc(token, nullptr), paramErr);
    PIDescriptorSimpleReference back{};
    EXPECT_EQ(read.getSimpleReferenceProc(token, &back), noErr);
    EXPECT_EQ(back.keyData.index, 7);
    EXPECT_EQ(read.closeReadDescriptorProc(token), noErr);
    host::disposeHandle(h);

    // Writing: a close with nowhere to put the result is refused and keeps
    // the token, so the module can still close it properly.
    PIWriteDescriptor w = write.openWriteDescriptorProc();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(write.putIntegerProc(w, fourCC("intg"), 5), noErr);
    EXPECT_EQ(write.putUnitFloatProc(w, fourCC("unf "), fourCC("#Pxl"), nullptr), paramErr);
    EXPECT_EQ(write.putSimpleReferenceProc(w, fourCC("ref "), nullptr), paramErr);
    EXPECT_EQ(write.putStringProc(w, fourCC("strg"), nullptr), paramErr);
    EXPECT_EQ(write.putScopedObjectProc(w, fourCC("objc"), fourCC("Zmox"), nullptr), paramErr);
    EXPECT_EQ(write.closeWriteDescriptorProc(w, nullptr), paramErr);
    PIDescriptorHandle out = nullptr;
    ASSERT_EQ(write.closeWriteDescriptorProc(w, &out), noErr);
    Descriptor written;
    ASSERT_TRUE(Descriptor::fromHandle(out, written));
    ASSERT_EQ(written.size(), 1u) << "refused puts added nothing";
    EXPECT_EQ(written.integer(fourCC("intg")), 5);
    host::disposeHandle(out);
    EXPECT_EQ(record.writeCloses, 1);
}

TEST(DescriptorSuiteOptions, LimitedSuitesLackProcedures) {
    host::DescriptorSuiteOptions o;
    o.readProcCount = 17;
    o.writeProcCount = 16;
    o.missingWriteProc = 4; // putUnitFloatProc
    o.readVersion = 1;
    ReadDescriptorProcs r{};
    WriteDescriptorProcs w{};
    host::fillReadDescriptorProcs(r, o);
    host::fillWriteDescriptorProcs(w, o);
    EXPECT_EQ(r.readDescriptorProcsVersion, 1);
    EXPECT_EQ(r.numReadDescriptorProcs, 17);
    EXPECT_NE(r.getPinnedFloatProc, nullptr);
    EXPECT_EQ(r.getPinnedUnitFloatProc, nullptr) << "the 18th procedure is missing";
    EXPECT_EQ(w.numWriteDescriptorProcs, 16);
    EXPECT_NE(w.putBooleanProc, nullptr);
    EXPECT_EQ(w.putUnitFloatProc, nullptr);
    EXPECT_NE(w.putScopedObjectProc, nullptr);

    host::DescriptorSuiteOptions full;
    host::fillReadDescriptorProcs(r, full);
    host::fillWriteDescriptorProcs(w, full);
    EXPECT_EQ(r.numReadDescriptorProcs, kReadDescriptorProcCount);
    EXPECT_EQ(w.numWriteDescriptorProcs, kWriteDescriptorProcCount);
    EXPECT_NE(r.getPinnedUnitFloatProc, nullptr);
    EXPECT_NE(w.putScopedObjectProc, nullptr);
}

} // namespace
