#include "history/HistoryFile.h"

#include "app/RunTimeError.h"
#include "history/JobHistory.h"
#include "HistoryTestSupport.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kv;
using namespace kv::history;

namespace {

using test::exchangeJob;
using test::receiveJob;
using test::sendJob;

QDateTime at(int day, int hour, int minute = 0) {
    return test::decemberAt(day, hour, minute);
}

void expectSame(const Record& a, const Record& b) {
    EXPECT_EQ(a.startedAt, b.startedAt);
    EXPECT_EQ(a.endedAt, b.endedAt);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.deviceName, b.deviceName);
    EXPECT_EQ(a.direction, b.direction);
    EXPECT_EQ(a.operatorName, b.operatorName);
    EXPECT_EQ(a.outcome, b.outcome);
    EXPECT_EQ(a.failedSteps, b.failedSteps);
    EXPECT_EQ(a.detail, b.detail);
    EXPECT_EQ(a.tables, b.tables);
    EXPECT_EQ(a.imported, b.imported);
    EXPECT_EQ(a.skipped, b.skipped);
    EXPECT_EQ(a.importedKeys, b.importedKeys);
    EXPECT_EQ(a.skippedKeys, b.skippedKeys);
    EXPECT_EQ(a.planilla, b.planilla);
    EXPECT_EQ(a.refused, b.refused);
}

// The first column of a statement's rows on the file, outside the program's reading; or what
// refused the statement.
QStringList sqlRows(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    QStringList rows;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK ? sqlite3_step(st) : SQLITE_ERROR;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(st))
        rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    if (rc != SQLITE_DONE) rows << QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

class HistoryFileTest : public ::testing::Test {
protected:
    test::TempHome home;
    QString path = home.file(HistoryFile::fileName());
};

TEST_F(HistoryFileTest, EveryFieldComesBackAsWritten) {
    Record send = sendJob(3, at(1, 9));
    Record receive = receiveJob(2, at(1, 10));
    Record exchange = exchangeJob(4, at(1, 12));
    Record cancelled = receiveJob(2, at(1, 11)); // a run that never reached the import
    cancelled.outcome = Outcome::Cancelled;
    cancelled.imported.reset();
    cancelled.skipped.reset();
    cancelled.importedKeys.clear();
    cancelled.skippedKeys.clear();
    cancelled.planilla.clear();
    {
        HistoryFile file(path, HistoryFile::Mode::Write);
        send.id = file.append(send);
        receive.id = file.append(receive);
        cancelled.id = file.append(cancelled);
        exchange.id = file.append(exchange);
    }
    const QList<Record> back = HistoryFile(path, HistoryFile::Mode::Read).read();
    ASSERT_EQ(back.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const Record& expected = i == 0 ? send : i == 1 ? receive : i == 2 ? cancelled : exchange;
        EXPECT_EQ(back[i].id, expected.id);
        expectSame(back[i], expected);
    }
    // Nobody confuses "no import" with "imported nothing".
    EXPECT_FALSE(back[2].imported.has_value());
}

struct FilterCase {
    const char* name;
    std::optional<int> device;
    std::optional<QDate> since;
    QList<int> expected; // indexes of the jobs below
};

class HistoryFilter : public HistoryFileTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(HistoryFilter, PassesTheRecordsOfTheDeviceFromTheDayOnOldestFirst) {
    // Appended out of order: the list follows the start time, not the order of writing.
    const QList<Record> jobs{sendJob(1, at(1, 23, 59)), receiveJob(2, at(2, 0)), sendJob(2, at(3, 8)),
                             receiveJob(1, at(2, 12)), sendJob(12, at(4, 8))};
    QList<qint64> ids;
    {
        HistoryFile file(path, HistoryFile::Mode::Write);
        for (const Record& r : jobs)
            ids << file.append(r);
    }
    QList<int> got;
    for (const Record& r : readHistory(Filter{GetParam().device, GetParam().since}))
        got << int(ids.indexOf(r.id));
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryFilter,
    ::testing::Values(FilterCase{"Everything", std::nullopt, std::nullopt, {0, 1, 3, 2, 4}},
                      FilterCase{"OneDevice", 2, std::nullopt, {1, 2}},
                      FilterCase{"DeviceOneIsNotTwelve", 1, std::nullopt, {0, 3}},
                      FilterCase{"SinceTakesTheWholeDay", std::nullopt, QDate(2026, 12, 2), {1, 3, 2, 4}},
                      FilterCase{"DeviceAndDay", 1, QDate(2026, 12, 2), {3}},
                      FilterCase{"NothingThatLate", std::nullopt, QDate(2027, 1, 1), {}},
                      FilterCase{"NoSuchDevice", 7, std::nullopt, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryFileTest, ANewFileCarriesTheCurrentLayoutAndTheDevicesItHolds) {
    {
        HistoryFile file(path, HistoryFile::Mode::Write);
        file.append(sendJob(3, at(1, 9)));
        file.append(receiveJob(1, at(1, 10)));
        file.append(sendJob(3, at(1, 11)));
        EXPECT_EQ(file.devices(), (QList<int>{1, 3}));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), HistoryFile::SchemaVersion);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// A history left by the program of layout 1: read as it is, and brought up to date by the first
// write, its records and their ids kept.
class LayoutOneHistory : public HistoryFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LayoutOneHistory, IsReadAsItIsAndTakesExchangesOnceWritten) {
    const bool write = GetParam();
    test::writeLayoutOneHistory(path);
    const QByteArray before = test::digest(path);
    Record exchange = exchangeJob(2, at(2, 8));
    if (write) exchange.id = HistoryFile(path, HistoryFile::Mode::Write).append(exchange);

    const QList<Record> back = HistoryFile(path, HistoryFile::Mode::Read).read();
    ASSERT_EQ(back.size(), write ? 3 : 2);
    EXPECT_EQ(back[0].id, 4);
    EXPECT_EQ(back[0].tables, (QList<TableRows>{{QStringLiteral("TA_BANCOS"), 6}, {QStringLiteral("MA_CLIENTES"), 0, true}}));
    EXPECT_EQ(back[1].id, 7);
    EXPECT_EQ(back[1].importedKeys + back[1].skippedKeys, (QStringList{"NP000100000001A", "RM000100000003B"}));
    EXPECT_TRUE(back[1].refused.isEmpty());
    EXPECT_TRUE(write || test::digest(path) == before) << "reading changes nothing";
    if (!write) return;
    EXPECT_GT(exchange.id, 7) << "no id is given twice";
    expectSame(back[2], exchange);
    EXPECT_EQ(sqlRows(path, "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'jobs' "
                            "AND sql IS NOT NULL ORDER BY name"),
              (QStringList{QStringLiteral("jobs_by_device"), QStringLiteral("jobs_by_start")}));
    EXPECT_EQ(sqlRows(path, "INSERT INTO jobs (started_at, ended_at, device, direction, outcome) "
                            "VALUES ('', '', 1, 'sideways', 'done')"),
              QStringList{QStringLiteral("CHECK constraint failed: direction IN ('send', 'receive', 'exchange')")});
}

INSTANTIATE_TEST_SUITE_P(Opened, LayoutOneHistory, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "ForWriting" : "ForReading"); });

TEST_F(HistoryFileTest, LastPerDeviceIsTheNewestRecordOfEachDevice) {
    EXPECT_TRUE(HistoryFile(path, HistoryFile::Mode::Write).lastPerDevice().isEmpty());
    // Device 12's two jobs started in the same second: the one written last is the newer.
    const QList<Record> jobs{sendJob(1, at(1, 9)),  exchangeJob(2, at(3, 8)), receiveJob(1, at(2, 10)),
                             sendJob(2, at(2, 8)),  sendJob(12, at(4, 8)),    receiveJob(12, at(4, 8))};
    HistoryFile file(path, HistoryFile::Mode::Write);
    QList<qint64> ids;
    for (const Record& r : jobs) ids << file.append(r);
    const QList<Record> last = file.lastPerDevice();
    ASSERT_EQ(last.size(), 3);
    for (int i = 0; const int newest : {2, 1, 5}) {
        EXPECT_EQ(last[i].id, ids[newest]) << i;
        expectSame(last[i++], jobs[newest]);
    }
}

TEST_F(HistoryFileTest, IsOwnerOnlyAfterEveryWriteWhateverTheModeItHad) {
    const mode_t oldMask = ::umask(0);
    HistoryFile(path, HistoryFile::Mode::Write).append(sendJob(3, at(1, 9)));
    ::umask(oldMask);
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    HistoryFile(path, HistoryFile::Mode::Write).append(sendJob(3, at(1, 10)));
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST_F(HistoryFileTest, LookingAtAHistoryThatWasNeverWrittenCreatesNothing) {
    EXPECT_TRUE(readHistory().isEmpty());
    EXPECT_TRUE(historyDevices().isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(HistoryFileTest, ANewerLayoutIsNotReadEither) {
    test::UnwritableHistory newer(test::Unwritable::NewerLayout, path);
    EXPECT_THROW(readHistory(), RunTimeError);
}

TEST_F(HistoryFileTest, KvctlLinesSayWhatHappenedInOneLine) {
    Record send = sendJob(3, at(1, 9, 5));
    Record receive = receiveJob(2, at(1, 10));
    Record cancelled = receiveJob(1, at(2, 7));
    cancelled.deviceName.clear();
    cancelled.operatorName.clear();
    cancelled.outcome = Outcome::Cancelled;
    cancelled.imported.reset();
    cancelled.detail = QStringLiteral("Cancelado por el Usuario");
    EXPECT_EQ(
        historyLine(send),
        QStringLiteral(
            "2026-12-01 09:05:00  device 3 (Ruta 3)  send     by ana  failed  failed steps: MA_CLIENTES, "
            "TA_ZONAS  (MA_CLIENTES: fila 3 rechazada TA_ZONAS: sin tabla)  rows: TA_BANCOS 6, "
            "MA_CLIENTES failed, MA_PRECIOS 1234567"));
    EXPECT_EQ(
        historyLine(receive),
        QStringLiteral(
            "2026-12-01 10:00:00  device 2 (Ruta 2)  receive  by Íñigo  done  imported 2 [NP000100000001A, "
            "OT000100000002A], skipped 1 [RM000100000003B], control sheet 000000000007X"));
    EXPECT_EQ(historyLine(cancelled),
              QStringLiteral(
                  "2026-12-02 07:00:00  device 1  receive  by -  cancelled  (Cancelado por el Usuario)"));
    const Record exchange = exchangeJob(4, at(3, 18, 30));
    EXPECT_EQ(historyLine(exchange),
              QStringLiteral("2026-12-03 18:30:00  device 4 (Ruta 4)  exchange  by -  done  imported 2 "
                             "[NP000100000001A, OT000100000002A], skipped 1 [RM000100000003B], control sheet "
                             "000000000007X  rows: MA_CLIENTES 40, TA_ZONAS 3  refused 2 [NP000100000009A: "
                             "cliente 000099 inexistente, OT000100000010A: sin artículos en la orden]"));
    EXPECT_EQ(historyColumns(receive),
              (QStringList{QStringLiteral("01/12/2026 10:00:00"), QStringLiteral("2 - Ruta 2"),
                           QStringLiteral("Recepción"), QStringLiteral("Íñigo"), QStringLiteral("Finalizado"),
                           QStringLiteral("Importados: 2 (NP000100000001A, OT000100000002A); omitidos: 1 "
                                          "(RM000100000003B); planilla Nº 000000000007X")}));
}

} // namespace
