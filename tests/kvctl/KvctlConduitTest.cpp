#include "KvctlInProcess.h"
#include "conduit/Conducto.h"
#include "LockHolder.h"
#include "ScriptedConduitConfig.h"
#include "TestEnv.h"

#include <csignal>
#include <gtest/gtest.h>
#include <QProcess>

using namespace kv;

namespace {

test::ToolRun kvctl(const test::TempHome& home, const QStringList& args) {
    return test::kvctlInProcess(home, args);
}

// What "conduit show" prints for the program's sixteen tables registered in one direction.
QString shown(bool enabled, bool receive) {
    QString text = QStringLiteral("KVGMovil\t") + (enabled ? "enabled" : "disabled") + "\n";
    for (const ConduitTable& t : TablasConducto())
        text += QStringLiteral("%1\t%2\t%3\n")
                    .arg(t.name)
                    .arg(CodigoTransferencia(t.name, receive))
                    .arg(t.keySpec);
    return text;
}

} // namespace

TEST(KvctlConduit, ShowSaysSoWhenNothingIsRegistered) {
    test::TempHome home;
    const test::ToolRun r = kvctl(home, {"conduit", "show"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("KVGMovil is not registered")) << r.err.toStdString();
}

struct ShowCase {
    const char* name;
    QList<const char*> commands;
    bool enabled;
    bool receive;
};

class KvctlConduitShow : public ::testing::TestWithParam<ShowCase> {};

TEST_P(KvctlConduitShow, ListsTheSwitchAndTheTablesInOrder) {
    test::TempHome home;
    for (const char* command : GetParam().commands) {
        const test::ToolRun r = kvctl(home, {"conduit", command});
        ASSERT_EQ(r.exitCode, 0) << command << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    const test::ToolRun r = kvctl(home, {"conduit", "show"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, shown(GetParam().enabled, GetParam().receive));
}

INSTANTIATE_TEST_SUITE_P(
    Kvctl, KvctlConduitShow,
    ::testing::Values(ShowCase{"receive", {"register-receive"}, true, true},
                      ShowCase{"send_after_receive", {"register-receive", "register-send"}, true, false},
                      ShowCase{"disabled_after_send", {"register-send", "disable"}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KvctlConduit, FailureCodesArePrintedAndMakeTheStatusNonZero) {
    test::TempHome home;
    test::ScopedConduitConfig lib;
    lib.library.tableAnswer = uc::TableNotFound;
    const test::ToolRun r = kvctl(home, {"conduit", "register-send"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.startsWith(
        QStringLiteral("Aviso al Operador: No se ha encontrado La Tabla Especifidada\n").repeated(16)))
        << r.err.toStdString();
    EXPECT_TRUE(lib.library.enabled);
}

TEST(KvctlConduit, DisableOfAConduitNeverRegisteredReportsIt) {
    test::TempHome home;
    const test::ToolRun r = kvctl(home, {"conduit", "disable"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Aviso al Operador: No se ha encontrado el conducto Especifidado\n")))
        << r.err.toStdString();
}

TEST(KvctlConduit, ALibraryErrorGoesToTheErrorPromptAndFails) {
    test::TempHome home;
    test::ScopedConduitConfig lib;
    lib.library.throwAtCall = 1;
    const test::ToolRun r = kvctl(home, {"conduit", "register-receive"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.startsWith("Aviso al operador!!!: Ha ocurrido el siguiente error (48)"))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Error al cargar")) << r.err.toStdString();
}

// The real programs: kvctl waits for the sync, another process syncs or the person presses Ctrl-C.
class KvctlConduitWait : public ::testing::Test {
protected:
    void SetUp() override {
        wait.start(test::programPath("kvctl"), {"--home", home.path(), "conduit", "wait"});
        ASSERT_TRUE(test::waitForOutput(wait, out, "Del Dispositivo M")) << out.toStdString();
    }
    void finish() {
        ASSERT_TRUE(wait.waitForFinished(10000));
        out += wait.readAllStandardOutput();
        EXPECT_EQ(wait.exitStatus(), QProcess::NormalExit);
    }
    test::TempHome home;
    QProcess wait;
    QByteArray out;
};

TEST_F(KvctlConduitWait, EndsWithTheSuccessMessageWhenTheSyncIsOver) {
    {
        test::LockHolder sync(home.path());
        ASSERT_TRUE(sync.holding());
        ASSERT_TRUE(test::waitForOutput(wait, out, "Sincronizando Datos")) << out.toStdString();
        sync.release();
    }
    finish();
    EXPECT_EQ(wait.exitCode(), 0) << wait.readAllStandardError().toStdString();
    EXPECT_TRUE(out.endsWith("Aviso al opeador: Se sincronizaron los datos con exito!!!\n"))
        << out.toStdString();
    EXPECT_EQ(kvctl(home, {"conduit", "show"}).out, shown(false, false));
}

TEST_F(KvctlConduitWait, CtrlCBeforeTheSyncCancelsAndLeavesTheConduitEnabled) {
    ::kill(pid_t(wait.processId()), SIGINT);
    finish();
    EXPECT_NE(wait.exitCode(), 0);
    EXPECT_FALSE(out.contains("Se sincronizaron")) << out.toStdString();
    EXPECT_EQ(kvctl(home, {"conduit", "show"}).out, shown(true, false));
}
