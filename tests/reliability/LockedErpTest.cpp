// An ERP another program keeps locked, and a person slow to answer: the receive waits within its
// bounds, says why it gives up, holds nothing while it asks, and the next run brings every
// document once.
#include "DemoErp.h"
#include "ErpFixture.h"
#include "Handheld.h"
#include "sync/SyncRun.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace kv;

namespace {

constexpr int kDocuments = 30;

// A real sqlite3 or psql holding what `sql` takes until it is told to let go.
class OtherProgram {
public:
    OtherProgram(const test::ErpFixture& f, const QString& sql) {
        if (f.erpPath().isEmpty())
            m_p.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), f.connInfo()});
        else
            m_p.start(QStringLiteral("sqlite3"), {f.erpPath()});
        m_p.write((sql + QStringLiteral("\nSELECT 'held';\n")).toUtf8());
        QByteArray seen;
        m_held = test::waitForOutput(m_p, seen, "held");
    }
    ~OtherProgram() {
        m_p.write("COMMIT;\n");
        m_p.closeWriteChannel();
        if (!m_p.waitForFinished(10000)) m_p.kill();
    }
    bool held() const { return m_held; }

private:
    QProcess m_p;
    bool m_held = false;
};

struct LockCase {
    const char* name;
    Engine engine;
    const char* hold;   // what the other program takes
    const char* reason; // what the receive says when it gives up
};

// A workstation on a demo ERP, receiving with short lock bounds.
class Site {
protected:
    explicit Site(Engine e) : f(e) {}
    bool open() {
        if (!f.available()) return false;
        client = f.erpRows(QStringLiteral("SELECT CTACODIGO FROM VT_CLIENTES ORDER BY CTACODIGO")).first();
        palm = f.home.file(QStringLiteral("palm.db"));
        return true;
    }
    test::ToolRun receive(const test::TempHome& home, const QString& handheld,
                          const std::function<void()>& whileWaiting = {}) {
        return test::kvctlWithSync(home,
                                   {QStringLiteral("--launch"), f.launch(), QStringLiteral("--lock-timeout"),
                                    QStringLiteral("2"), QStringLiteral("--import-lock-timeout"), QStringLiteral("2"),
                                    QStringLiteral("receive"), QStringLiteral("1")},
                                   handheld, whileWaiting);
    }
    test::ToolRun receive(const std::function<void()>& whileWaiting = {}) { return receive(f.home, palm, whileWaiting); }
    QString documents(const QString& branch) {
        return f.erpRows(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT IdComprobante) FROM V_MV_CPTE WHERE "
                                        "IdComprobante LIKE '%1%'")
                             .arg(branch))
            .value(0);
    }
    QJsonObject lastHistory() {
        const test::ToolRun h = test::runTool(QStringLiteral("kvctl"), f.home,
                                              {QStringLiteral("history"), QStringLiteral("--format"), QStringLiteral("json")});
        return QJsonDocument::fromJson(h.out.toUtf8()).array().last().toObject();
    }
    test::ErpFixture f;
    QString client, palm;
};

class LockedErp : public Site, public ::testing::TestWithParam<LockCase> {
protected:
    LockedErp() : Site(GetParam().engine) {}
    void SetUp() override {
        if (!open()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    }
};

class PromptOpen : public Site, public ::testing::TestWithParam<Engine> {
protected:
    PromptOpen() : Site(GetParam()) {}
    void SetUp() override {
        if (!open()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    }
};

TEST_P(LockedErp, TheReceiveGivesUpOnceWithTheReasonAndTheNextBringsEveryDocumentOnce) {
    test::captureOrders(palm, kDocuments, 2, client);
    std::unique_ptr<OtherProgram> other;
    // Taken while the receive waits for the cradle, as another program would take it.
    const test::ToolRun locked = receive([&] { other = std::make_unique<OtherProgram>(f, QLatin1String(GetParam().hold)); });
    ASSERT_TRUE(other && other->held());
    EXPECT_FALSE(locked.crashed) << "still waiting on the lock";
    EXPECT_EQ(locked.exitCode, 1) << locked.err.toStdString();
    EXPECT_TRUE(locked.err.contains(QLatin1String(GetParam().reason))) << locked.err.toStdString();
    EXPECT_EQ(locked.err.count(QStringLiteral("Answer: Abortar")), 1) << "Abort ends the import at once";
    const QJsonObject job = lastHistory();
    EXPECT_EQ(job.value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    EXPECT_TRUE(job.value(QStringLiteral("detail")).toString().contains(QLatin1String(GetParam().reason)));
    other.reset();
    EXPECT_EQ(documents(QStringLiteral("0001")), QStringLiteral("0|0"));

    const test::ToolRun free = receive();
    EXPECT_EQ(free.exitCode, 0) << free.err.toStdString();
    EXPECT_EQ(documents(QStringLiteral("0001")), QStringLiteral("%1|%1").arg(kDocuments));
    EXPECT_EQ(lastHistory().value(QStringLiteral("imported")).toInt(), kDocuments);
}

// While a person reads a prompt of one workstation's import (a client the ERP does not know),
// that import holds nothing: its whole documents are committed and another workstation's receive
// into the same ERP runs to its end.
TEST_P(PromptOpen, LeavesTheErpToAnotherWorkstation) {
    test::captureOrders(f.storePath, 5, 1, client);
    test::captureOrders(f.storePath, 1, 1, QStringLiteral("NOSUCH"), 6);
    test::TempHome other; // the other workstation's application folder
    const QString otherPalm = other.file(QStringLiteral("palm.db"));
    test::captureOrders(otherPalm, 3, 1, client, 1, QStringLiteral("0002"));
    ASSERT_EQ(test::runTool(QStringLiteral("kvctl"), other,
                            {QStringLiteral("store"), QStringLiteral("init"), other.file(QStringLiteral("kvpalmsync.mdb"))})
                  .exitCode,
              0);
    test::ToolRun meanwhile;
    QString committedWhileAsked;
    f.person.person.onErrorPrompt([&](const QString&) {
        committedWhileAsked = documents(QStringLiteral("0001"));
        meanwhile = receive(other, otherPalm);
    });
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    SyncRunState run(trap);
    EXPECT_EQ(importDocuments(run), RunOutcome::Left);
    EXPECT_EQ(committedWhileAsked, QStringLiteral("5|5"));
    EXPECT_EQ(meanwhile.exitCode, 0) << meanwhile.err.toStdString();
    EXPECT_EQ(documents(QStringLiteral("0002")), QStringLiteral("3|3"));
    EXPECT_EQ(run.imported, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, LockedErp,
    ::testing::Values(LockCase{"sqlite_exclusive", Engine::Sqlite, "BEGIN EXCLUSIVE;", "locked by another program"},
                      LockCase{"postgresql_table", Engine::PostgreSql,
                               "BEGIN; LOCK TABLE v_mv_cpte IN ACCESS EXCLUSIVE MODE;", "locked by another program"},
                      LockCase{"postgresql_import", Engine::PostgreSql,
                               "SELECT pg_advisory_lock(hashtext('kvcontrol document import'));",
                               "another import of this ERP is under way"}),
    [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Engines, PromptOpen, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

} // namespace
