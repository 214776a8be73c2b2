#include "conduit/HotSyncWait.h"

#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "ScriptedConduitConfig.h"
#include "ScriptedOperator.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>

using namespace kv;

namespace {

const QString kOpen = QStringLiteral("open:Syncronizacion de Datos");
const QString kWaiting = QStringLiteral(
    "Esperando Conexión|Si Aún no lo ha hecho, Pulse el Botón de HotSync|Del Dispositivo Móvil");
const QString kSyncing = QStringLiteral("Sincronizando Datos|Esta operacion puede Tardar unos Minutos|");
const QString kSuccess = QStringLiteral("Aviso al opeador: Se sincronizaron los datos con exito!!!");
constexpr int kSlicesPerPoll = kPollIntervalMs / kEventSliceMs;

quint64 registeredGeneration() {
    ConduitRegistration c;
    FileConduitConfig().ReadConduit(kConduitName, &c);
    return c.generation;
}

// A sync that starts and ends "while the program waits", as the cradle runs one: it takes the
// sync lock and records itself begun under the registration at the n-th round of event
// processing and records itself copied and releases the lock at the m-th (0: already under way
// at the first poll, begun right after the registration; -1: never).
struct ScriptedSync {
    ScriptedSync(test::ScriptedOperator& person, int startAt, int endAt) {
        if (startAt == 0) begin(registeredGeneration() + 1);
        person.onProcessEvents([this, startAt, endAt] {
            ++events;
            if (events == startAt) begin(registeredGeneration());
            if (events == endAt && lock) {
                lock->ended(true);
                lock.reset();
            }
        });
    }
    void begin(quint64 generation) {
        lock = SyncLock::tryTake();
        lock->began(generation);
    }
    std::optional<SyncLock> lock;
    int events = 0;
};

bool conduitEnabled() {
    ConduitRegistration c;
    EXPECT_EQ(FileConduitConfig().ReadConduit(kConduitName, &c), uc::Ok);
    return c.enabled;
}

} // namespace

struct WaitCase {
    const char* name;
    int syncStartsAt; // round of event processing; 0 already under way, -1 never
    int syncEndsAt;   // -1 never
    int cancelAt;     // status window's cancel request from this showing of the texts; 0 never
    WaitOutcome outcome;
    QStringList statusLog;
    bool successShown;
};

class EsperarHotSyncCases : public ::testing::TestWithParam<WaitCase> {};

TEST_P(EsperarHotSyncCases, FollowTheSyncAndTheOperator) {
    const WaitCase& c = GetParam();
    test::TempHome home;
    test::ScopedOperator o;
    ScriptedSync sync(o.person, c.syncStartsAt, c.syncEndsAt);
    if (c.cancelAt) o.person.cancelStatusAt(c.cancelAt);

    EXPECT_EQ(EsperarHotSync(), c.outcome);

    EXPECT_EQ(o.person.statusLog(), c.statusLog);
    EXPECT_FALSE(o.person.statusOpen());
    EXPECT_EQ(o.person.messages(), c.successShown ? QStringList{kSuccess} : QStringList{});
    if (c.successShown) {
        EXPECT_EQ(o.person.shown().first().style, mb::Question + mb::OkOnly);
    }
    // The conduit stays enabled for sending unless the wait got to its end.
    EXPECT_EQ(conduitEnabled(), c.outcome == WaitOutcome::Cancelled);
}

INSTANTIATE_TEST_SUITE_P(
    Conduit, EsperarHotSyncCases,
    ::testing::Values(WaitCase{"cancel_before_the_sync",
                               -1,
                               -1,
                               3,
                               WaitOutcome::Cancelled,
                               {kOpen, "cancel:on", kWaiting, "close"},
                               false},
                      WaitCase{"sync_begins_and_ends",
                               2 * kSlicesPerPoll + 1,
                               4 * kSlicesPerPoll + 1,
                               0,
                               WaitOutcome::Completed,
                               {kOpen, "cancel:on", kWaiting, "cancel:off", kSyncing, "close"},
                               true},
                      WaitCase{"sync_already_under_way_at_the_first_poll",
                               0,
                               2,
                               0,
                               WaitOutcome::Completed,
                               {kOpen, "cancel:on", "cancel:off", kSyncing, "close"},
                               true},
                      WaitCase{"cancel_during_the_sync_counts_as_completed",
                               0,
                               -1,
                               1,
                               WaitOutcome::Completed,
                               {kOpen, "cancel:on", "cancel:off", kSyncing, "close"},
                               true},
                      WaitCase{"cancel_after_waiting_then_syncing",
                               kSlicesPerPoll + 1,
                               -1,
                               3,
                               WaitOutcome::Completed,
                               {kOpen, "cancel:on", kWaiting, "cancel:off", kSyncing, "close"},
                               true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HotSyncWait, CancelIsOfferedOnlyWhileWaitingForTheConnection) {
    test::TempHome home;
    test::ScopedOperator o;
    QList<std::pair<QString, bool>> shows; // first line shown, cancel offered at that moment
    std::optional<SyncLock> lock;
    int events = 0;
    int seen = 0;
    o.person.onProcessEvents([&] {
        if (o.person.statusShows() != seen) {
            seen = o.person.statusShows();
            shows << std::pair{o.person.statusLog().last().section(QLatin1Char('|'), 0, 0),
                               o.person.cancelOffered()};
        }
        if (++events == 2 * kSlicesPerPoll) {
            lock = SyncLock::tryTake();
            lock->began(0);
        }
        if (events == 4 * kSlicesPerPoll) {
            lock->ended(true);
            lock.reset();
        }
    });
    bool cancel = true;
    SyncMonitor monitor;
    Trap trap = Trap::prompting(QString());
    EXPECT_EQ(CicloEsperaHotSync(cancel, monitor, trap), WaitOutcome::Completed);
    EXPECT_FALSE(cancel);
    const QList<std::pair<QString, bool>> expected{{"Esperando Conexión", true},
                                                   {"Esperando Conexión", true},
                                                   {"Sincronizando Datos", false},
                                                   {"Sincronizando Datos", false}};
    EXPECT_EQ(shows, expected);
    EXPECT_TRUE(o.person.statusOpen()); // the cycle leaves the window to its caller
}

TEST(HotSyncWait, PollsAFewTimesASecondInsteadOfSpinning) {
    test::TempHome home;
    test::ScopedOperator o;
    QElapsedTimer waited;
    int events = 0;
    o.person.onProcessEvents([&] {
        ++events;
        if (waited.elapsed() >= 1000) o.person.cancelStatusAt(o.person.statusShows() + 1);
    });
    waited.start();
    bool cancel = false;
    SyncMonitor monitor;
    Trap trap = Trap::prompting(QString());
    EXPECT_EQ(CicloEsperaHotSync(cancel, monitor, trap), WaitOutcome::Cancelled);
    EXPECT_GE(o.person.statusShows(), 2);
    EXPECT_LE(o.person.statusShows(), 15); // a busy loop would poll thousands of times
    EXPECT_EQ(events, (o.person.statusShows() - 1) * kSlicesPerPoll); // events between every two polls
}

struct TrapCase {
    const char* name;
    QList<int> answers;
    WaitOutcome outcome;
    int prompts;
};

class HotSyncWaitErrors : public ::testing::TestWithParam<TrapCase> {};

// The monitor cannot examine the lock file: the error treatment without a procedure name decides.
TEST_P(HotSyncWaitErrors, GoToTheErrorTreatment) {
    const TrapCase& c = GetParam();
    test::TempHome home;
    test::ScopedOperator o;
    ASSERT_TRUE(QFile::link(home.file(SyncLock::fileName()), home.file(SyncLock::fileName())));
    for (int a : c.answers)
        o.person.answer(a);
    o.person.cancelStatusAt(1);

    EXPECT_EQ(EsperarHotSync(), c.outcome);
    const auto prompts = o.person.shownOf(QStringLiteral("error"));
    ASSERT_EQ(prompts.size(), c.prompts);
    for (const auto& p : prompts) {
        EXPECT_EQ(p.title, QStringLiteral("Aviso al operador!!!"));
        EXPECT_TRUE(p.text.startsWith(QStringLiteral("Ha ocurrido el siguiente error (75)")))
            << p.text.toStdString();
    }
    EXPECT_FALSE(o.person.statusOpen());
    EXPECT_TRUE(conduitEnabled()); // neither outcome gets to the switch-off
    EXPECT_TRUE(o.person.shownOf(QStringLiteral("message")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Conduit, HotSyncWaitErrors,
    ::testing::Values(TrapCase{"leave_ends_at_once", {mb::Abort}, WaitOutcome::Left, 1},
                      // Ignore: no sync seen, the texts are shown and the operator cancels.
                      TrapCase{"retry_then_ignore", {mb::Retry, mb::Ignore}, WaitOutcome::Cancelled, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EsperarHotSync, ALibraryErrorIgnoredGoesOnToTheWait) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    test::TempHome home;
    lib.library.throwAtCall = 2;
    o.person.answer(mb::Ignore);
    o.person.cancelStatusAt(1);
    EXPECT_EQ(EsperarHotSync(), WaitOutcome::Cancelled);
    EXPECT_EQ(lib.library.log, QStringList{QStringLiteral("conduit KVGMovil")});
    EXPECT_EQ(o.person.statusLog().first(), kOpen);
}

TEST(EsperarHotSync, ALibraryErrorAnsweredWithLeaveEndsBeforeTheWindowOpens) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.throwAtCall = 1;
    EXPECT_EQ(EsperarHotSync(), WaitOutcome::Left);
    EXPECT_TRUE(o.person.statusLog().isEmpty());
    EXPECT_EQ(o.person.shownOf(QStringLiteral("error")).size(), 1);
}

TEST(EsperarHotSync, FailureCodesAreShownAndDoNotStopTheWait) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    test::TempHome home;
    lib.library.tableAnswers.insert(QStringLiteral("MA_PRECIOS"), uc::TableNotFound);
    lib.library.disableAnswer = uc::RegistryAccess;
    ScriptedSync sync(o.person, 0, 1);
    EXPECT_EQ(EsperarHotSync(), WaitOutcome::Completed);
    EXPECT_EQ(o.person.messages(),
              (QStringList{QStringLiteral("Aviso al Operador: No se ha encontrado La Tabla Especifidada"),
                           QStringLiteral("Aviso al Operador: No se ha podido Tener Acceso al registro"),
                           kSuccess}));
}
