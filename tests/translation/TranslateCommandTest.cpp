#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>

using namespace kv;

namespace {

struct CommandCase {
    std::string name;
    QStringList args;
    int status;
    QString out;         // exact standard output
    QString errContains; // part of standard error (empty: stderr must be empty)
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.args.join(QLatin1Char(' ')).toStdString();
}

class KvctlTranslate : public ::testing::TestWithParam<CommandCase> {};

TEST_P(KvctlTranslate, PrintsWhatTheDataLayerSends) {
    const CommandCase& c = GetParam();
    test::TempHome home;
    QProcess p;
    p.start(test::programPath(QStringLiteral("kvctl")), QStringList{QStringLiteral("translate")} + c.args);
    ASSERT_TRUE(p.waitForFinished(30000)) << p.errorString().toStdString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), c.status) << err.toStdString();
    EXPECT_EQ(out.toStdString(), c.out.toStdString());
    if (c.errContains.isEmpty())
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    else
        EXPECT_TRUE(err.contains(c.errContains)) << err.toStdString();
    // Nothing is written to the application folder: no database is opened.
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

INSTANTIATE_TEST_SUITE_P(
    Kvctl, KvctlTranslate,
    ::testing::Values(
        CommandCase{"Oracle",
                    {"--to", "oracle", "SELECT TOP 5 Codigo FROM VT_CLIENTES ORDER BY Codigo"},
                    0,
                    "SELECT  Codigo FROM VT_CLIENTES    WHERE ROWNUM <= 5  ORDER BY Codigo\n",
                    ""},
        CommandCase{"OracleWordsJoined",
                    {"--to=oracle", "SELECT", "ISNULL(A, 0)", "FROM", "T"},
                    0,
                    "SELECT NVL(A, 0) FROM T\n",
                    ""},
        CommandCase{"SynonymsUser",
                    {"--to", "synonyms", "SELECT * FROM MA_CUENTAS WHERE 1=1"},
                    0,
                    "SELECT * FROM SS_MA_CUENTAS WHERE 1=1\n",
                    ""},
        CommandCase{"SynonymsAdmin",
                    {"--admin", "--to", "synonyms", "SELECT * FROM @Admin_MV_ASIENTOS, MA_CUENTAS "},
                    0,
                    "SELECT * FROM MV_ASIENTOS, MA_CUENTAS \n",
                    ""},
        CommandCase{
            "Sqlite", {"--to", "sqlite", "SELECT TOP 5 * FROM T"}, 0, "SELECT * FROM T LIMIT 5\n", ""},
        CommandCase{
            "UnclosedQuoteRefused", {"--to", "oracle", "SELECT * FROM T WHERE A = 'x"}, 1, "", "quote"},
        CommandCase{"Postgresql",
                    {"--to", "postgresql", "SELECT ISNULL(A, 0) FROM T"},
                    0,
                    "SELECT COALESCE(A, 0) FROM T\n",
                    ""},
        CommandCase{
            "TargetAnyCase", {"--to", "SQLite", "SELECT TOP 1 * FROM T"}, 0, "SELECT * FROM T LIMIT 1\n", ""},
        CommandCase{"NoTarget", {"SELECT 1 FROM T"}, 2, "", "--to"},
        CommandCase{"UnknownTarget", {"--to", "mysql", "SELECT 1 FROM T"}, 2, "", "mysql"},
        CommandCase{"NoStatement", {"--to", "oracle"}, 2, "", "STATEMENT"},
        // What is sent carries the synonyms for a user, the real objects for an administrator.
        CommandCase{"OracleUserSynonyms",
                    {"--to", "oracle", "SELECT [X] FROM MA_CUENTAS WHERE 1=1"},
                    0,
                    "SELECT \"X\" FROM SS_MA_CUENTAS WHERE 1=1\n",
                    ""},
        CommandCase{"PostgresqlAdmin",
                    {"--to", "postgresql", "--admin", "SELECT TOP 1 * FROM MA_CUENTAS WHERE 1=1"},
                    0,
                    "SELECT * FROM MA_CUENTAS WHERE 1=1 LIMIT 1\n",
                    ""},
        CommandCase{"PercentRefused", {"--to", "sqlite", "SELECT TOP 5 PERCENT * FROM T"}, 1, "", "PERCENT"}),
    [](const auto& info) { return info.param.name; });

} // namespace
