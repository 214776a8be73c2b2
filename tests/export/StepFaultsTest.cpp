// One export step the PostgreSQL ERP refuses (a view gone, a table the role may not read, a
// statement over its time-out) fails alone, natively as through ODBC: every other step copies
// its rows.
#include "DemoErp.h"
#include "ScriptedOperator.h"
#include "TestEnv.h"
#include "data/Connection.h"
#include "export/ExportRunner.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace kv;

namespace {

struct StepFault {
    const char* name;
    const char* odbcDriver; // empty: Qt's native driver
    const char* sql;        // run by the owner; %1 is the export's role
    const char* step;       // the one that must fail
};

class OneStepRefused : public ::testing::TestWithParam<StepFault> {
protected:
    void SetUp() override {
        KV_REQUIRE_PG(pg);
        erp::Options o;
        o.clients = 40;
        o.articles = 20;
        o.documents = 0;
        erp::createDemoErp(erp::Target::postgres(pg.connInfo()), o);
        role = pg.name() + QStringLiteral("_export");
        owner(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN "
                             "CREATE ROLE %1 LOGIN; END IF; END $$; GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1")
                  .arg(role));
        const QString fault = QString::fromLatin1(GetParam().sql);
        owner(fault.contains(QLatin1String("%1")) ? fault.arg(role) : fault);
        store = home.file(QStringLiteral("kvpalmsync.mdb"));
        createStore(store);
    }
    void owner(const QString& sql) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("owner"));
        db.setHostName(pg.host());
        db.setPort(pg.port());
        db.setUserName(pg.user());
        db.setDatabaseName(pg.name());
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(sql)) << sql.toStdString();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("owner"));
    }
    test::TempPgDatabase pg;
    test::TempHome home;
    test::ScopedOperator person;
    QString role, store;
};

TEST_P(OneStepRefused, TheOthersStillCopyTheirRows) {
    Connection erp;
    erp.setEngine(Engine::PostgreSql);
    erp.setOdbcDriver(QLatin1String(GetParam().odbcDriver));
    erp.open(QStringLiteral("Server=%1,%2;Database=%3;UId=%4;").arg(pg.host()).arg(pg.port()).arg(pg.name(), role));
    erp.setCommandTimeout(1);
    const QList<StepOutcome> outcomes = EjecutarExportacion(store, QString(), QString(), erp);
    EXPECT_EQ(failedSteps(outcomes), QStringList{QLatin1String(GetParam().step)});
    for (int i = 1; i < outcomes.size(); ++i) {
        if (exportSteps().at(i).description == QLatin1String(GetParam().step)) continue;
        EXPECT_GT(outcomes.at(i).rows, 0) << exportSteps().at(i).description.toStdString() << ": "
                                          << outcomes.at(i).error.toStdString();
    }
}

constexpr const char* kGone = "ALTER TABLE v_ta_bancos RENAME TO v_ta_bancos_gone";
constexpr const char* kRevoked = "REVOKE SELECT ON v_ta_rubros FROM %1";
// A source slower than the command time-out (1 s).
constexpr const char* kSlow = "ALTER TABLE v_ta_tareas RENAME TO v_ta_tareas_data; CREATE VIEW v_ta_tareas AS "
                              "SELECT t.* FROM v_ta_tareas_data t, (SELECT pg_sleep(3)) s; GRANT SELECT ON v_ta_tareas TO %1";

INSTANTIATE_TEST_SUITE_P(
    Faults, OneStepRefused,
    ::testing::Values(StepFault{"view_gone", "", kGone, "TA_BANCOS"}, StepFault{"revoked", "", kRevoked, "TA_RUBROS"},
                      StepFault{"too_slow", "", kSlow, "TA_TAREAS"},
                      StepFault{"view_gone_odbc", "PostgreSQL Unicode", kGone, "TA_BANCOS"},
                      StepFault{"too_slow_odbc", "PostgreSQL Unicode", kSlow, "TA_TAREAS"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
