#include "host/handle_suite.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qf {}
using namespace qf;

namespace {

TEST(HandleSuite, LifecycleThroughTheModulesProcedures) {
    HandleProcs* p = host::handleProcs();
    const int64_t liveBefore = host::handleStats().live;
    Handle h = p->newProc(100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host::handleStats().live, liveBefore + 1);
    EXPECT_EQ(p->getSizeProc(h), 100);
    char* data = p->lockProc(h, true);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data, *h) << "a handle points at its master pointer";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(data[i], 0) << "new handles are zero-filled";
    std::memset(data, 7, 100);
    EXPECT_EQ(host::handleLockCount(h), 1);

    // Locked: may shrink and regrow within its room, never move or grow beyond.
    EXPECT_EQ(p->setSizeProc(h, 50), noErr);
    EXPECT_EQ(*h, data);
    EXPECT_EQ(p->setSizeProc(h, 100), noErr);
    EXPECT_EQ(data[60], 0) << "regrown bytes are cleared";
    EXPECT_EQ(p->setSizeProc(h, 1000), memFullErr);
    p->unlockProc(h);
    EXPECT_EQ(host::handleLockCount(h), 0);

    // Unlocked: grows by moving, keeping the content.
    EXPECT_EQ(p->setSizeProc(h, 5000), noErr);
    EXPECT_EQ(p->getSizeProc(h), 5000);
    data = p->lockProc(h, false);
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(data[49], 7);
    EXPECT_EQ(data[4999], 0);
    p->unlockProc(h);
    p->unlockProc(h); // one unlock too many does no harm
    EXPECT_EQ(host::handleLockCount(h), 0);
    p->disposeProc(h);
    EXPECT_FALSE(host::isLiveHandle(h));
    EXPECT_EQ(host::handleStats().live, liveBefore);

    Handle empty = p->newProc(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(p->lockProc(empty, false), nullptr) << "even an empty handle locks to a pointer";
    p->disposeRegularHandleProc(empty);
    EXPECT_EQ(p->newProc(-1), nullptr);
}

TEST(HandleSuite, UnknownHandlesAreRefusedNotDereferenced) {
    HandleProcs* p = host::handleProcs();
    char* fake[4] = {};
    Handle bogus = reinterpret_cast<Handle>(fake);
    const int64_t rejectedBefore = host::handleStats().rejected;
    EXPECT_EQ(p->lockProc(bogus, false), nullptr);
    EXPECT_EQ(p->getSizeProc(bogus), 0);
    EXPECT_EQ(p->setSizeProc(bogus, 10), nilHandleErr);
    p->unlockProc(bogus);
    p->disposeProc(bogus);
    p->disposeProc(nullptr);
    EXPECT_EQ(p->lockProc(nullptr, false), nullptr);
    EXPECT_GE(host::handleStats().rejected, rejectedBefore + 5);

    Handle h = p->newProc(8);
    p->disposeProc(h);
    p->disposeProc(h); // a second dispose is refused, not a double free
    EXPECT_EQ(p->lockProc(h, false), nullptr);
}

TEST(HandleSuite, SerialsTellReusedAddressesApart) {
    Handle a = host::newHandle(16);
    const int64_t serial = host::handleSerial(a);
    EXPECT_GT(serial, 0);
    host::disposeHandle(a);
    EXPECT_EQ(host::handleSerial(a), 0);
    Handle b = host::newHandle(16);
    EXPECT_NE(host::handleSerial(b), serial);
    host::disposeHandle(b);
}

TEST(HandleSuite, AllocationFailureHook) {
    host::failNewHandleAt(2);
    Handle a = host::newHandle(4);
    Handle b = host::newHandle(4);
    Handle c = host::newHandle(4);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr);
    host::disposeHandle(a);
    host::disposeHandle(c);
    host::failNewHandleAt(0);
}

TEST(BufferSuite, AllocateLockFree) {
    BufferProcs* p = host::bufferProcs();
    const int64_t before = host::liveBufferCount();
    const int32 spaceBefore = p->spaceProc();
    BufferID id = nullptr;
    ASSERT_EQ(p->allocateProc(4096, &id), noErr);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(p->spaceProc(), spaceBefore - 4096);
    char* data = p->lockProc(id, true);
    ASSERT_NE(data, nullptr);
    std::memset(data, 1, 4096);
    p->unlockProc(id);
    p->freeProc(id);
    EXPECT_EQ(host::liveBufferCount(), before);
    EXPECT_EQ(p->lockProc(id, true), nullptr) << "a freed buffer is gone";
    p->freeProc(id);
    EXPECT_EQ(p->allocateProc(-5, &id), paramErr);
    EXPECT_EQ(p->allocateProc(5, nullptr), paramErr);
    EXPECT_EQ(p->spaceProc(), spaceBefore);
}

} // namespace
