#include "history/JobHistory.h"

#include "app/Clock.h"
#include "app/Startup.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "conduit/SyncMonitor.h"
#include "console/SendCommand.h"
#include "ErpFixture.h"
#include "HistoryTestSupport.h"
#include "settings/DeviceSettings.h"
#include "sync/SyncRun.h"

#include <gtest/gtest.h>

using namespace kv;
using namespace kv::history;

namespace {

const QDateTime kStart(QDate(2026, 12, 9), QTime(10, 30));

// The person at the cradle: presses the sync button as soon as the program waits for it, and
// the sync (under the program's registration) ends at the program's next look.
class CradleSync {
public:
    explicit CradleSync(test::ScriptedOperator& person) {
        person.onStatusTexts([this](const QString& first) {
            if (first == QStringLiteral("Esperando Conexión") && !m_lock) {
                ConduitRegistration conduit;
                FileConduitConfig().ReadConduit(kConduitName, &conduit);
                m_lock = SyncLock::tryTake();
                m_lock->began(conduit.generation);
            } else if (first == QLatin1String("Sincronizando Datos") && m_lock) {
                m_lock->ended(true);
                m_lock.reset();
            }
        });
    }

private:
    std::optional<SyncLock> m_lock;
};

enum class Ending { Completed, CancelledBeforeTheSync, Failed };

class JobHistory : public ::testing::Test {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(Engine::Sqlite, test::ErpFixture::Sizes{12, 8, 3, 0});
        ASSERT_TRUE(f->available());
        program().usuarioLogeado = QStringLiteral("ana");
        settings::writeDevice(2, settings::Nombre, QStringLiteral(" Ruta Norte "));
        Clock::fix(kStart);
        resetFailureNotice();
    }
    void TearDown() override { Clock::fix(QDateTime()); }

    test::ScriptedOperator& person() { return f->person.person; }
    // The operator is told through the scripted person; answers to error prompts are Abort.
    void endAs(Ending e) {
        if (e == Ending::CancelledBeforeTheSync)
            person().cancelStatusAt(1);
        else
            cradle = std::make_unique<CradleSync>(person());
    }
    qint64 storeCount(const QString& table) {
        return f->storeRows(QStringLiteral("SELECT COUNT(*) FROM ") + table).first().toLongLong();
    }
    Record onlyRecord() {
        const QList<Record> all = readHistory();
        EXPECT_EQ(all.size(), 1);
        return all.value(0);
    }
    QStringList historyNotices() {
        QStringList r;
        for (const auto& s : person().shownOf(QStringLiteral("message")))
            if (s.text.contains(QLatin1String("historial")))
                r << s.title + QStringLiteral(": ") + QString::number(s.style);
        return r;
    }
    void addDocument(const QString& key, const QString& client) {
        f->storeExec(
            QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_TIPOREG, MV_CPTE_IDCOMPROBANTE, "
                           "MV_CPTE_IDCLIENTE, MV_CPTE_FECHA, MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL) "
                           "VALUES (?, ?, ?, ?, '2026-12-01', 10, 12.1)"),
            {key, key.left(2), key.mid(2), client});
    }

    std::unique_ptr<test::ErpFixture> f;
    std::unique_ptr<CradleSync> cradle;
};

struct SendCase {
    const char* name;
    Ending ending;
    Outcome outcome;
    QStringList failedSteps;
    const char* detailStart;
};

class SendHistory : public JobHistory, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendHistory, OneRecordWithTheOutcomeAndTheRowsOfEveryMasterTable) {
    const SendCase& c = GetParam();
    endAs(c.ending);
    // A source the ERP lost makes its step fail; the other steps still run.
    if (c.ending == Ending::Failed) f->erpExec(QStringLiteral("DROP TABLE V_TA_Bancos"));
    const SendResult result = EnviarDatosPalm(2, true);
    ASSERT_EQ(result.exported, c.ending != Ending::Failed);

    const Record r = onlyRecord();
    EXPECT_EQ(r.startedAt, kStart);
    EXPECT_EQ(r.device, 2);
    EXPECT_EQ(r.deviceName, QStringLiteral("Ruta Norte"));
    EXPECT_EQ(r.direction, Direction::Send);
    EXPECT_EQ(r.operatorName, QStringLiteral("ana"));
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.failedSteps, c.failedSteps);
    EXPECT_TRUE(r.detail.startsWith(QLatin1String(c.detailStart))) << r.detail.toStdString();
    EXPECT_FALSE(r.imported.has_value());
    // Every master table, with what the store really holds now.
    ASSERT_EQ(r.tables.size(), 12);
    for (const TableRows& t : r.tables) {
        SCOPED_TRACE(t.table.toStdString());
        EXPECT_EQ(t.rows, storeCount(t.table));
        EXPECT_EQ(t.failed, c.failedSteps.contains(t.table));
    }
    EXPECT_GT(r.tables.first().rows + r.tables.last().rows, 0) << "the counts are not all zero";
    EXPECT_TRUE(historyNotices().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Endings, SendHistory,
    ::testing::Values(
        SendCase{"Completed", Ending::Completed, Outcome::Done, {}, ""},
        SendCase{"Cancelled", Ending::CancelledBeforeTheSync, Outcome::Cancelled, {}, "Cancelado"},
        SendCase{
            "StepFailed", Ending::Failed, Outcome::Failed, {QStringLiteral("TA_BANCOS")}, "TA_BANCOS: "}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReceiveCase {
    const char* name;
    Ending ending;
    bool importedBefore; // the same documents were received once already
    Outcome outcome;
    std::optional<qint32> imported;
    std::optional<qint32> skipped;
};

class ReceiveHistory : public JobHistory, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveHistory, OneRecordWithTheDocumentsAndTheControlSheet) {
    const ReceiveCase& c = GetParam();
    const QString client =
        f->erpRows(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES ORDER BY CODIGO")).first();
    const QStringList keys{QStringLiteral("NP000100000001A"), QStringLiteral("XX000100000002A")};
    addDocument(keys[0], client);
    // A client the ERP does not know fails the second document; the operator leaves the run.
    addDocument(keys[1], c.ending == Ending::Failed ? QStringLiteral("NOEXISTE") : client);
    if (c.importedBefore) {
        endAs(Ending::Completed);
        ASSERT_EQ(ActualizaDatos_KVControl(2), RunOutcome::Imported);
        ASSERT_EQ(readHistory().size(), 1);
        cradle.reset();
        Clock::fix(kStart.addSecs(3600));
    }
    endAs(c.ending);
    ActualizaDatos_KVControl(2);

    const QList<Record> all = readHistory();
    ASSERT_EQ(all.size(), c.importedBefore ? 2 : 1);
    const Record& r = all.last();
    EXPECT_EQ(r.startedAt, c.importedBefore ? kStart.addSecs(3600) : kStart);
    EXPECT_EQ(r.device, 2);
    EXPECT_EQ(r.direction, Direction::Receive);
    EXPECT_EQ(r.operatorName, QStringLiteral("ana"));
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.imported, c.imported);
    EXPECT_EQ(r.skipped, c.skipped);
    EXPECT_TRUE(r.tables.isEmpty());
    if (!c.imported) {
        EXPECT_TRUE(r.planilla.isEmpty());
        EXPECT_TRUE(r.importedKeys.isEmpty());
        EXPECT_TRUE(r.detail.startsWith(QLatin1String("Cancelado"))) << r.detail.toStdString();
        return;
    }
    // Ordinary documents write no sheet rows, so every run draws the first number.
    EXPECT_EQ(r.planilla, QStringLiteral("000000000001X"));
    EXPECT_EQ(r.importedKeys, keys.mid(0, *c.imported));
    EXPECT_EQ(r.skippedKeys, keys.mid(0, *c.skipped));
    if (c.outcome == Outcome::Failed) {
        // The reason is the error the operator was shown before leaving.
        const auto errors = person().shownOf(QStringLiteral("error"));
        ASSERT_FALSE(errors.isEmpty());
        EXPECT_FALSE(r.detail.isEmpty());
        EXPECT_TRUE(errors.last().text.contains(r.detail)) << r.detail.toStdString();
    } else {
        EXPECT_TRUE(r.detail.isEmpty()) << r.detail.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ReceiveHistory,
    ::testing::Values(ReceiveCase{"Completed", Ending::Completed, false, Outcome::Done, 2, 0},
                      ReceiveCase{"AllAlreadyInTheErp", Ending::Completed, true, Outcome::Done, 0, 2},
                      ReceiveCase{"Cancelled", Ending::CancelledBeforeTheSync, false, Outcome::Cancelled,
                                  std::nullopt, std::nullopt},
                      ReceiveCase{"LeftOnAnError", Ending::Failed, false, Outcome::Failed, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

class HistoryCannotBeWritten : public JobHistory, public ::testing::WithParamInterface<test::Unwritable> {};

TEST_P(HistoryCannotBeWritten, TheJobsGoOnTheFileStaysAsItWasAndTheOperatorIsToldOnce) {
    test::UnwritableHistory broken(GetParam(), historyPath());
    const QByteArray before = test::digest(historyPath());
    const SendResult first = EnviarDatosPalm(2, false);
    const SendResult second = EnviarDatosPalm(1, false);
    endAs(Ending::Completed);
    const RunOutcome received = ActualizaDatos_KVControl(2);

    EXPECT_TRUE(first.exported);
    EXPECT_TRUE(second.exported);
    EXPECT_EQ(received, RunOutcome::Imported);
    EXPECT_GT(storeCount(QStringLiteral("MA_CLIENTES")), 0) << "the send did its work";
    EXPECT_EQ(historyNotices(), QStringList{QStringLiteral("Aviso al Usuario: 48")}) << "a warning: kvctl puts it on stderr";
    EXPECT_TRUE(person().shownOf(QStringLiteral("error")).isEmpty()) << "no error prompt stops the job";
    EXPECT_EQ(test::digest(historyPath()), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HistoryCannotBeWritten,
                         ::testing::Values(test::Unwritable::FolderInTheWay, test::Unwritable::NotADatabase,
                                           test::Unwritable::Locked, test::Unwritable::NewerLayout),
                         [](const auto& info) { return std::string(test::unwritableName(info.param)); });

TEST_F(JobHistory, AHistoryThatHealsIsWrittenAgainWithoutAnotherNotice) {
    {
        test::UnwritableHistory locked(test::Unwritable::Locked, historyPath());
        EnviarDatosPalm(1, false);
    }
    EnviarDatosPalm(2, false);
    const QList<Record> all = readHistory();
    ASSERT_EQ(all.size(), 1) << "the job run while the file was locked is not in it";
    EXPECT_EQ(all.first().device, 2);
    EXPECT_EQ(all.first().detail, QStringLiteral("Exportación sin esperar la sincronización"));
    EXPECT_EQ(historyNotices().size(), 1);
}

} // namespace
