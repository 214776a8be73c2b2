#include "conduit/SyncMonitor.h"

#include "CaseName.h"
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
    EXPECT_FALSE(monitor.lastSyncCopied());
    EXPECT_TRUE(SyncLock::tryTake(std::chrono::milliseconds(0)).has_value()); // nothing left stuck
}

TEST(SyncLock, ASecondSyncCannotTakeTheLockWhileTheFirstHoldsIt) {
    test::TempHome home;
    test::LockHolder first(home.path());
    ASSERT_TRUE(first.holding());
    EXPECT_FALSE(SyncLock::tryTake(std::chrono::milliseconds(50)).has_value());
}

// What a waiting monitor (registration generation 7) answers around syncs of this process, each
// poll in order: "b<gen>" a sync takes the lock and records itself begun, "a" answered (awaiting
// the handheld's confirmation), "c" it records itself copied and lets go, "r" refused and lets
// go, "k" it lets go without a word (killed), "T"/"F" a poll answering True/False, "A" a poll
// answering True and awaiting the confirmation.
struct MonitorCase {
    const char* name;
    const char* script;
    bool copied; // lastSyncCopied at the end
};

class SyncMonitorScript : public ::testing::TestWithParam<MonitorCase> {};

TEST_P(SyncMonitorScript, SeesEverySyncOfItsRegistrationOnce) {
    test::TempHome home;
    SyncMonitor monitor(QString(), 7);
    std::optional<SyncLock> lock;
    for (const char* at = GetParam().script; *at; ++at) {
        switch (*at) {
        case 'b':
            lock = SyncLock::tryTake();
            lock->began(quint64(at[1] - '0'));
            ++at;
            break;
        case 'a':
            lock->answered();
            break;
        case 'c':
            lock->ended(true);
            lock.reset();
            break;
        case 'r':
            lock->ended(false);
            lock.reset();
            break;
        case 'k':
            lock->release();
            lock.reset();
            break;
        default:
            EXPECT_EQ(monitor.syncUnderWay(), *at != 'F') << "poll at " << (at - GetParam().script);
            if (*at != 'F') {
                EXPECT_EQ(monitor.awaitingConfirmation(), *at == 'A') << "poll at " << (at - GetParam().script);
            }
        }
    }
    EXPECT_EQ(monitor.lastSyncCopied(), GetParam().copied);
}

INSTANTIATE_TEST_SUITE_P(Conduit, SyncMonitorScript,
                         ::testing::Values(MonitorCase{"short_sync_between_two_polls", "Fb7cTF", true},
                                           MonitorCase{"long_sync", "Fb7TTcF", true},
                                           MonitorCase{"under_way_at_the_first_poll", "b7TTcF", true},
                                           MonitorCase{"over_before_the_first_poll", "b7cFF", false},
                                           MonitorCase{"another_registrations_sync_never_counts",
                                                       "Fb3cFb3FcF", false},
                                           MonitorCase{"the_other_registration_then_ours", "Fb3cb7cTF", true},
                                           MonitorCase{"refused_counts_as_not_copied", "Fb7rTF", false},
                                           MonitorCase{"killed_counts_as_not_copied", "Fb7TkF", false},
                                           MonitorCase{"two_short_syncs_each_reported", "Fb7cb7cTFTF", true},
                                           MonitorCase{"answered_then_confirmed", "Fb7TaAAcF", true},
                                           MonitorCase{"answered_then_dropped", "Fb7aArFb7cTF", true},
                                           MonitorCase{"answered_at_the_first_poll", "b7aAcF", true},
                                           MonitorCase{"answered_and_killed", "Fb7aAkF", false}),
                         test::CaseName());

// Every waiting program sees a short sync, and the state file keeps what they need.
TEST(SyncMonitor, SeveralWaitingProgramsEachSeeAShortSync) {
    test::TempHome home;
    SyncMonitor a, b;
    EXPECT_FALSE(a.syncUnderWay());
    EXPECT_FALSE(b.syncUnderWay());
    {
        auto lock = SyncLock::tryTake();
        EXPECT_EQ(lock->began(0), 1u);
        lock->ended(true);
    }
    EXPECT_TRUE(a.syncUnderWay());
    EXPECT_TRUE(b.syncUnderWay());
    EXPECT_FALSE(a.syncUnderWay());
    EXPECT_FALSE(b.syncUnderWay());
    EXPECT_TRUE(a.lastSyncCopied() && b.lastSyncCopied());
    for (int i = 0; i < 40; ++i) {
        auto lock = SyncLock::tryTake();
        lock->began(0);
        lock->ended(true);
    }
    const QList<SyncRecord> records = readSyncRecords();
    ASSERT_FALSE(records.isEmpty());
    EXPECT_LE(records.size(), 32);
    EXPECT_EQ(records.last().sequence, 41u);
    EXPECT_EQ(records.last().state, SyncRecord::State::Copied);
}
