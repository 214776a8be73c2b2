// The ERP server goes away in the middle of an export: every table of the store is either as
// its step found it or complete, the steps after the fault end in "Error", and once the server
// is back the next export completes.
#include "data/Connection.h"
#include "DemoErp.h"
#include "ErpFixture.h"
#include "export/ExportRunner.h"
#include "ScriptedOperator.h"
#include "store/StoreFile.h"
#include "TestEnv.h"
#include "Workstation.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

class ExportServerStopped : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::makePrivateErp(server, 3500, 200)) GTEST_SKIP() << "no PostgreSQL server binaries";
        store = home.file(QStringLiteral("kvpalmsync.mdb"));
        createStore(store);
    }
    QList<StepOutcome> exportOnce() {
        Connection erp;
        erp.setEngine(Engine::PostgreSql);
        erp.open(QStringLiteral("Server=127.0.0.1,%1;Database=erp;UId=postgres;").arg(server.port()));
        return EjecutarExportacion(store, QString(), QString(), erp);
    }
    test::PrivatePgServer server;
    test::TempHome home;
    test::ScopedOperator person;
    QString store;
};

TEST_F(ExportServerStopped, TablesAreAsBeforeTheirStepOrCompleteAndTheNextExportCompletes) {
    // The runner lets the interface breathe every thousand rows: the second time is in the middle
    // of the clients.
    int breaths = 0;
    person.person.onProcessEvents([&] {
        if (++breaths == 2) server.stop();
    });
    const QList<StepOutcome> fault = exportOnce();
    person.person.onProcessEvents({});
    ASSERT_EQ(fault.size(), exportSteps().size());
    const auto afterFault = test::masterCounts(store);
    EXPECT_EQ(test::integrity(store), QStringLiteral("ok"));
    EXPECT_EQ(fault.first().executionResult, 0) << "the delete step works on the store alone";
    EXPECT_EQ(fault.last().executionResult, 1) << "the server was stopped before the last step";
    for (const StepOutcome& o : fault)
        EXPECT_EQ(o.executionResult == 1, !o.error.isEmpty())
            << "a failed step says why, a finished one nothing";

    ASSERT_TRUE(server.start());
    const QList<StepOutcome> again = exportOnce();
    EXPECT_TRUE(failedSteps(again).isEmpty()) << failedSteps(again).join(QLatin1Char(',')).toStdString();
    const auto complete = test::masterCounts(store);
    for (int i = 1; i < exportSteps().size(); ++i) {
        const QString table = exportSteps().at(i).destination;
        const int expected = fault.at(i).executionResult == 1 ? 0 : complete.value(table);
        EXPECT_EQ(afterFault.value(table), expected) << table.toStdString();
    }
    EXPECT_GT(complete.value(QStringLiteral("MA_CLIENTES")), 1000);
}

} // namespace
