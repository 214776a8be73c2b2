#include "app/SettingsFile.h"
#include "CaseName.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "conduit/SyncMonitor.h"
#include "HandheldTestSupport.h"
#include "ScriptedOperator.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <QElapsedTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

using namespace kv;
using test::snapshot;

namespace {

enum class Registration { Send, Receive, Disabled, None };

// A home with a local sync store and a handheld, both filled (each with its own values), and the
// conduit registered as the case asks, the way the program leaves it before the person presses
// the cradle button.
class Cradle : public ::testing::Test {
public:
    void SetUp() override {
        createStore(store);
        createStore(device);
        test::fillAllTables(store, 4, QStringLiteral("s"));
        test::fillAllTables(device, 3, QStringLiteral("hh"));
    }

    void registerConduit(Registration r) {
        test::ScopedOperator person;
        if (r == Registration::None) return;
        ASSERT_EQ(RegistrarConducto(r == Registration::Receive), 0);
        if (r == Registration::Disabled) {
            ASSERT_EQ(DesactivarConducto(), 0);
        }
    }

    test::ToolRun kvhandheld(const QStringList& args) {
        return test::runTool(QStringLiteral("kvhandheld"), home, args);
    }

    test::TempHome home;
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    const QString device = home.file(QStringLiteral("palm.db"));
};

// What the person at the cradle sees the conduit registered with: by the program for sending or
// for receiving, or, as only another program would leave it, masters to the handheld and
// documents to the store in the same sync.
struct DirectionCase {
    const char* name;
    std::optional<bool> receive; // the program's registration; none: the mixed one
};

qint32 mixedCode(const QString& table) {
    return CodigoTransferencia(table, true) == 5 ? 5 : 4;
}

void registerMixed() {
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(RegistroConducto()), 0);
    for (const ConduitTable& t : TablasConducto()) {
        TableRecord record = RegistroTabla(t, false);
        record.transferCode = mixedCode(t.name);
        ASSERT_EQ(library.AddUpdateTable(kConduitName, record), 0);
    }
    ASSERT_EQ(library.SetEnableStatus(kConduitName, 1), 0);
}

class HotSyncDirection : public Cradle, public ::testing::WithParamInterface<DirectionCase> {};

// Code 4: the handheld's table becomes the store's; code 5: the store's becomes the handheld's;
// code 0: both stay as they were.
TEST_P(HotSyncDirection, CopiesEachTableTheWayItIsRegisteredAndNothingElse) {
    const std::optional<bool> receive = GetParam().receive;
    if (receive)
        registerConduit(*receive ? Registration::Receive : Registration::Send);
    else
        registerMixed();
    const auto storeBefore = snapshot(store);
    const auto deviceBefore = snapshot(device);

    const test::ToolRun r = kvhandheld({QStringLiteral("hotsync"), device});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.err.isEmpty()) << qPrintable(r.err);

    const auto storeAfter = snapshot(store);
    const auto deviceAfter = snapshot(device);
    int copied = 0;
    for (const ConduitTable& t : TablasConducto()) {
        const qint32 code = receive ? CodigoTransferencia(t.name, *receive) : mixedCode(t.name);
        SCOPED_TRACE(t.name.toStdString());
        // Sending keeps the handheld's documents the store does not hold (all of them here).
        const bool keeps = code == 4 && CodigoTransferencia(t.name, true) == 5;
        EXPECT_EQ(storeAfter[t.name], code == 5 ? deviceBefore[t.name] : storeBefore[t.name]);
        if (keeps)
            EXPECT_EQ(test::query(device, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t.name)),
                      QList<QVariantList>{{qint64(7)}});
        else
            EXPECT_EQ(deviceAfter[t.name], code == 4 ? storeBefore[t.name] : deviceBefore[t.name]);
        if (code == 0) {
            EXPECT_FALSE(r.out.contains(QStringLiteral("\n  %1 ").arg(t.name.leftJustified(16))));
            continue;
        }
        ++copied;
        const QString line =
            QStringLiteral("  %1 %2 %3 rows\n")
                .arg(t.name.leftJustified(16))
                .arg(code == 4 ? QStringLiteral("store -> handheld") : QStringLiteral("handheld -> store"))
                .arg(keeps       ? 7
                     : code == 4 ? 4
                                 : 3,
                     8);
        EXPECT_TRUE(r.out.contains(line)) << qPrintable(r.out);
    }
    EXPECT_TRUE(
        r.out.endsWith(QStringLiteral("%1 tables copied, %2 left untouched.\n").arg(copied).arg(16 - copied)))
        << qPrintable(r.out);
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
}

INSTANTIATE_TEST_SUITE_P(Handheld, HotSyncDirection,
                         ::testing::Values(DirectionCase{"send", false}, DirectionCase{"receive", true},
                                           DirectionCase{"masters_out_documents_in", std::nullopt}),
                         test::CaseName());

// The masters reach the handheld first; when the documents then cannot be written to the store,
// the handheld keeps its old masters too.
TEST_F(Cradle, AFailureInTheSecondFileUndoesTheFirst) {
    registerMixed();
    test::execSql(store, QStringLiteral("CREATE TRIGGER refuse_documents BEFORE INSERT ON MV_CPTE "
                                        "BEGIN SELECT RAISE(ABORT, 'the disk is failing'); END"));
    const auto storeBefore = snapshot(store);
    const auto deviceBefore = snapshot(device);

    const test::ToolRun r = kvhandheld({QStringLiteral("hotsync"), device});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              QStringLiteral("kvhandheld hotsync: Cannot copy MV_CPTE (handheld -> store): the disk is "
                             "failing. Nothing was copied.\n"));
    EXPECT_EQ(snapshot(store), storeBefore);
    EXPECT_EQ(snapshot(device), deviceBefore);
}

// Each refusal leaves both files as they were and names its reason.
struct RefusalCase {
    const char* name;
    Registration registration;
    std::function<void(Cradle&)> arrange;
    const char* reason;
};

class HotSyncRefusal : public Cradle, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(HotSyncRefusal, ChangesNothingAndSaysWhy) {
    const RefusalCase& c = GetParam();
    registerConduit(c.registration);
    if (c.arrange) c.arrange(*this);
    // A file that is not there stays away.
    const auto contents = [](const QString& path) {
        return QFileInfo::exists(path) ? snapshot(path) : QMap<QString, QString>();
    };
    const auto storeBefore = contents(store);
    const auto deviceBefore = contents(device);

    const test::ToolRun r = kvhandheld({QStringLiteral("hotsync"), device});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("kvhandheld hotsync: ")) &&
                r.err.contains(QLatin1String(c.reason)) &&
                r.err.contains(QStringLiteral("Nothing was copied.")))
        << qPrintable(r.err);
    EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
    EXPECT_EQ(contents(store), storeBefore);
    EXPECT_EQ(contents(device), deviceBefore);
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, HotSyncRefusal,
    ::testing::Values(
        RefusalCase{"not_registered", Registration::None, nullptr, "The conduit KVGMovil is not registered"},
        RefusalCase{"disabled", Registration::Disabled, nullptr, "The conduit KVGMovil is disabled"},
        // A send that failed half way (or was killed) left the store marked: it is never handed out.
        RefusalCase{"store_of_a_send_that_did_not_complete", Registration::Send,
                    [](Cradle& c) { test::execSql(c.store, QStringLiteral("PRAGMA user_version = 1263948613")); },
                    "The local sync store's last send did not complete"},
        RefusalCase{"store_named_by_settings_missing", Registration::Send,
                    [](Cradle& c) {
                        GrabarIni(settings::File, settings::General, QStringLiteral("BaseDeDatos"),
                                  c.home.file(QStringLiteral("elsewhere.mdb")));
                    },
                    "There is no local sync store"},
        RefusalCase{"store_lacks_a_table", Registration::Send,
                    [](Cradle& c) { test::execSql(c.store, QStringLiteral("DROP TABLE MV_MPCPTES")); },
                    "lacks table MV_MPCPTES"},
        RefusalCase{"handheld_lacks_a_column", Registration::Receive,
                    [](Cradle& c) {
                        test::execSql(c.device,
                                      QStringLiteral("ALTER TABLE MV_CPTE DROP COLUMN MV_CPTE_ITEMS"));
                    },
                    "lacks column MV_CPTE.MV_CPTE_ITEMS"},
        RefusalCase{"handheld_missing", Registration::Send, [](Cradle& c) { QFile::remove(c.device); },
                    "There is no handheld"},
        RefusalCase{"handheld_is_the_store", Registration::Send,
                    [](Cradle& c) {
                        GrabarIni(settings::File, settings::General, QStringLiteral("BaseDeDatos"), c.device);
                    },
                    "is the local sync store itself"}),
    test::CaseName());

TEST_F(Cradle, TheStoreNamedBySettingsIsNeverCreated) {
    registerConduit(Registration::Send);
    const QString missing = home.file(QStringLiteral("elsewhere.mdb"));
    GrabarIni(settings::File, settings::General, QStringLiteral("BaseDeDatos"), missing);
    EXPECT_EQ(kvhandheld({QStringLiteral("hotsync"), device}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// A sync under way: kvhandheld with a long hold, read until it says the copy is done.
class RunningSync {
public:
    RunningSync(const test::TempHome& home, const QString& device, int holdSeconds = 60) {
        process.start(test::programPath(QStringLiteral("kvhandheld")),
                      {QStringLiteral("--home"), home.path(), QStringLiteral("hotsync"), device,
                       QStringLiteral("--hold"), QString::number(holdSeconds)});
    }
    ~RunningSync() { kill(); }
    bool copied() { return test::waitForOutput(process, out, "the sync completes in"); }
    void kill() {
        if (process.state() == QProcess::NotRunning) return;
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(10000);
        out += process.readAllStandardOutput();
    }
    QProcess process;
    QByteArray out;
};

TEST_F(Cradle, ASecondSyncWhileOneIsUnderWayIsRefused) {
    registerConduit(Registration::Send);
    RunningSync first(home, device);
    ASSERT_TRUE(first.copied()) << first.out.toStdString();
    const QString other = home.file(QStringLiteral("other.db"));
    createStore(other);
    const auto otherBefore = snapshot(other);

    const test::ToolRun second = kvhandheld({QStringLiteral("hotsync"), other});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(QStringLiteral("Another sync is under way"))) << qPrintable(second.err);
    EXPECT_EQ(snapshot(other), otherBefore);
}

// A sync killed while it holds (after the rows are copied, before the commit) or while it is
// copying: the monitor drops to False and neither file keeps anything of it.
struct KillCase {
    const char* name;
    bool receive;
    bool duringCopy;
};

class KilledSync : public Cradle, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledSync, LeavesTheMonitorFalseAndBothFilesUnchanged) {
    const KillCase& c = GetParam();
    registerConduit(c.receive ? Registration::Receive : Registration::Send);
    // A large table on the sending side keeps the copy going long enough to be caught in it.
    const QString source = c.receive ? device : store;
    const QString table = c.receive ? QStringLiteral("MV_CPTE_DETALLE") : QStringLiteral("MA_PRECIOS");
    if (c.duringCopy)
        test::execSql(
            source,
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120000) "
                           "INSERT INTO %1 SELECT %2 FROM n")
                .arg(table, c.receive
                                ? QStringLiteral(
                                      "'NP0001' || printf('%08d', i) || 'A', i, NULL, 'Línea ' || i, NULL, "
                                      "i * 0.5, i * 0.4, i * 2.0, NULL, 'C001', '2024-05-01', NULL, "
                                      "'A' || i, 0, 2, 'UN', i * 0.1, 0")
                                : QStringLiteral("'L' || (i % 50), 'Lista', 'A' || i, i % 2, i * 1.5, NULL, "
                                                 "NULL, NULL, NULL, 'PES', 'V', NULL, NULL, NULL, NULL, "
                                                 "NULL, NULL")));
    const auto storeBefore = snapshot(store);
    const auto deviceBefore = snapshot(device);
    // The sync copies into a copy of the handheld beside it ("palm.db.kvsync-XXXXXX").
    const auto journalExists = [&] {
        if (c.receive) return QFileInfo::exists(store + QStringLiteral("-journal"));
        return !QDir(home.path())
                    .entryList({QFileInfo(device).fileName() + QStringLiteral(".kvsync-*-journal")}, QDir::Files)
                    .isEmpty();
    };

    RunningSync sync(home, device);
    SyncMonitor monitor;
    if (c.duringCopy) {
        // The destination's rollback journal appears with the first page the copy changes.
        QElapsedTimer t;
        t.start();
        while (!journalExists() && t.elapsed() < 20000 && sync.process.state() != QProcess::NotRunning)
            QThread::usleep(200);
        ASSERT_TRUE(journalExists());
    } else {
        ASSERT_TRUE(sync.copied()) << sync.out.toStdString();
    }
    EXPECT_TRUE(monitor.syncUnderWay());
    sync.kill();
    if (c.duringCopy) {
        EXPECT_FALSE(sync.out.contains("the sync completes in")) << "the copy was over before the kill";
    }
    EXPECT_EQ(sync.process.exitStatus(), QProcess::CrashExit);

    EXPECT_FALSE(monitor.syncUnderWay());
    EXPECT_EQ(snapshot(store), storeBefore);
    EXPECT_EQ(snapshot(device), deviceBefore);

    // Nothing stays stuck: the next sync goes through.
    const test::ToolRun next = kvhandheld({QStringLiteral("hotsync"), device});
    EXPECT_EQ(next.exitCode, 0) << qPrintable(next.err);
    // What the killed sync left beside the handheld is gone with the next one.
    EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral("*.kvsync-*")}, QDir::Files), QStringList());
    EXPECT_EQ(snapshot(c.receive ? store : device, {table})[table],
              (c.receive ? deviceBefore : storeBefore)[table]);
}

INSTANTIATE_TEST_SUITE_P(Handheld, KilledSync,
                         ::testing::Values(KillCase{"send_during_hold", false, false},
                                           KillCase{"receive_during_hold", true, false},
                                           KillCase{"send_during_copy", false, true},
                                           KillCase{"receive_during_copy", true, true}),
                         test::CaseName());

// The program and the cradle side by side: kvctl waits for the sync, kvhandheld syncs.
TEST_F(Cradle, TheProgramWaitingForTheSyncSeesItAndEndsWithSuccess) {
    QProcess wait;
    wait.start(test::programPath(QStringLiteral("kvctl")),
               {QStringLiteral("--home"), home.path(), QStringLiteral("conduit"), QStringLiteral("wait")});
    QByteArray waitOut;
    ASSERT_TRUE(test::waitForOutput(wait, waitOut, "Del Dispositivo M")) << waitOut.toStdString();

    const test::ToolRun sync = kvhandheld({QStringLiteral("hotsync"), device});
    EXPECT_EQ(sync.exitCode, 0) << qPrintable(sync.err);

    ASSERT_TRUE(wait.waitForFinished(15000));
    waitOut += wait.readAllStandardOutput();
    EXPECT_EQ(wait.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(wait.exitCode(), 0) << wait.readAllStandardError().toStdString();
    EXPECT_TRUE(waitOut.contains("Sincronizando Datos")) << waitOut.toStdString();
    EXPECT_TRUE(waitOut.contains("Aviso al opeador: Se sincronizaron los datos con exito!!!"))
        << waitOut.toStdString();
    const QStringList masters{QStringLiteral("MA_CLIENTES"), QStringLiteral("MA_PRECIOS"),
                              QStringLiteral("TA_USUARIOS")};
    EXPECT_EQ(snapshot(device, masters), snapshot(store, masters));
}

// A registration for one device: another device's handheld is refused and changes nothing, and
// the program's wait goes on; a handheld without a number is taken with a note.
struct DeviceCase {
    const char* name;
    int handheldDevice; // 0: made without --device
    bool taken;
    const char* said;
};

class HandheldDevice : public Cradle, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(HandheldDevice, OnlyTheDeviceWaitedForIsSynced) {
    const DeviceCase& c = GetParam();
    const QString palm = home.file(QStringLiteral("palm2.db"));
    QStringList init{QStringLiteral("init"), palm};
    if (c.handheldDevice) init << QStringLiteral("--device") << QString::number(c.handheldDevice);
    ASSERT_EQ(kvhandheld(init).exitCode, 0);
    {
        test::ScopedOperator person;
        ASSERT_EQ(RegistrarConducto(false, 2), 0);
    }
    const auto before = snapshot(palm);
    const test::ToolRun r = kvhandheld({QStringLiteral("hotsync"), palm});
    EXPECT_EQ(r.exitCode, c.taken ? 0 : 1) << qPrintable(r.err);
    EXPECT_TRUE((c.taken ? r.out : r.err).contains(QLatin1String(c.said))) << qPrintable(r.out + r.err);
    EXPECT_EQ(snapshot(palm) == before, !c.taken);
    EXPECT_EQ(readSyncRecords().size(), c.taken ? 1 : 0); // a refused handheld never began a sync
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, HandheldDevice,
    ::testing::Values(DeviceCase{"the_device_waited_for", 2, true, "16 tables copied"},
                      DeviceCase{"another_device", 1, false,
                                 "This handheld is device 1, but the program waits for device 2's sync"},
                      DeviceCase{"made_without_a_number", 0, true, "it is taken as device 2"}),
    test::CaseName());

// Documents captured on the handheld since the last receive survive a send and its sync; the
// store's own documents replace theirs on the handheld.
TEST_F(Cradle, ASendKeepsTheDocumentsTheStoreDoesNotHold) {
    registerConduit(Registration::Send);
    const auto keys = [](const QString& path) {
        QStringList k;
        for (const QVariantList& row :
             test::query(path, QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE ORDER BY 1")))
            k << row.value(0).toString();
        return k;
    };
    // One document the store holds too (already received), the others captured since.
    const QString shared = keys(device).first();
    test::execSql(store, QStringLiteral("UPDATE MV_CPTE SET MV_CPTE_TSNL = '%1' WHERE MV_CPTE_TSNL = '%2'")
                             .arg(shared, keys(store).first()));
    QStringList expected = keys(store) + keys(device);
    expected.removeDuplicates();
    expected.sort();

    const test::ToolRun r = kvhandheld({QStringLiteral("hotsync"), device});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(keys(device), expected);
    EXPECT_TRUE(r.out.contains(QStringLiteral("MV_CPTE: kept 2 rows the store does not hold")))
        << qPrintable(r.out);
    const QString sharedClient =
        QStringLiteral("SELECT MV_CPTE_IDCLIENTE FROM MV_CPTE WHERE MV_CPTE_TSNL = '%1'").arg(shared);
    EXPECT_EQ(test::query(device, sharedClient), test::query(store, sharedClient)); // the store's row
}

} // namespace

// The handheld on a disk that fills up during the sync (a small tmpfs of its own, mounted in a
// user and mount namespace of the test's): the sync fails, and the handheld file is byte for
// byte what it was, with nothing beside it.
TEST_F(Cradle, ASyncThatRunsOutOfDiskLeavesTheHandheldAsItWas) {
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "unshare is not installed";
    registerConduit(Registration::Send);
    test::execSql(store, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                        "WHERE i < 60000) INSERT INTO MA_PRECIOS SELECT 'L' || (i % 50), "
                                        "'Lista', 'A' || i, i % 2, i * 1.5, NULL, NULL, NULL, NULL, 'PES', "
                                        "'V', NULL, NULL, NULL, NULL, NULL, NULL FROM n"));
    const auto storeBefore = snapshot(store);
    const QString disk = home.file(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    // Room for the handheld and its copy, not for the copied prices.
    const qint64 roomKb = 2 * QFileInfo(device).size() / 1024 + 64;
    QProcess sh;
    sh.start(QStringLiteral("unshare"),
             {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
              QStringLiteral("mount -t tmpfs -o size=%1k tmpfs \"$1\" || exit 99; cp \"$2\" \"$1/palm.db\"; "
                             "before=$(sha256sum < \"$1/palm.db\"); "
                             "\"$3\" --home \"$4\" hotsync \"$1/palm.db\"; echo \"exit $?\"; "
                             "[ \"$(sha256sum < \"$1/palm.db\")\" = \"$before\" ] && echo unchanged; ls \"$1\"")
                  .arg(roomKb),
              QStringLiteral("sh"), disk, device, test::programPath(QStringLiteral("kvhandheld")), home.path()});
    ASSERT_TRUE(sh.waitForFinished(60000));
    if (sh.exitCode() == 99) GTEST_SKIP() << "no tmpfs can be mounted here: " << sh.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(sh.readAllStandardOutput());
    const QString err = QString::fromUtf8(sh.readAllStandardError());
    EXPECT_EQ(out, QStringLiteral("exit 1\nunchanged\npalm.db\n")) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("full"))) << qPrintable(err);
    EXPECT_EQ(snapshot(store), storeBefore);
}
