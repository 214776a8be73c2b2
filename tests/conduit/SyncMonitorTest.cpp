#include "conduit/SyncMonitor.h"

#include "LockHolder.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

using namespace kv;

TEST(SyncMonitor, NoSyncWhereNoneEverRan) {
    test::TempHome home;
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
}

TEST(SyncMonitor, TrueWhileAnotherProcessHoldsTheLockFalseOnceItIsKilled) {
    test::TempHome home;
    test::LockHolder sync(home.path());
    ASSERT_TRUE(sync.holding());
    SyncMonitor monitor;
    EXPECT_TRUE(monitor.syncUnderWay());
    EXPECT_TRUE(monitor.syncUnderWay()); // polling does not disturb the holder
    sync.kill();
    EXPECT_FALSE(monitor.syncUnderWay());
    EXPECT_TRUE(SyncLock::tryTake(std::chrono::milliseconds(0)).has_value()); // nothing left stuck
}

TEST(SyncMonitor, FalseOnceTheSyncReleasesTheLock) {
    test::TempHome home;
    test::LockHolder sync(home.path());
    ASSERT_TRUE(sync.holding());
    sync.release();
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
}

TEST(SyncLock, ASecondSyncCannotTakeTheLockWhileTheFirstHoldsIt) {
    test::TempHome home;
    test::LockHolder first(home.path());
    ASSERT_TRUE(first.holding());
    EXPECT_FALSE(SyncLock::tryTake(std::chrono::milliseconds(50)).has_value());
}

TEST(SyncLock, HeldInThisProcessIsSeenByTheMonitorAndReleasedWithTheObject) {
    test::TempHome home;
    SyncMonitor monitor;
    {
        auto lock = SyncLock::tryTake();
        ASSERT_TRUE(lock.has_value());
        EXPECT_TRUE(monitor.syncUnderWay());
        std::optional<SyncLock> moved = std::move(lock);
        lock.reset(); // the moved-from lock owns nothing
        EXPECT_TRUE(monitor.syncUnderWay());
    }
    EXPECT_FALSE(monitor.syncUnderWay());
}
