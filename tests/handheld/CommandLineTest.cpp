#include "app/Clock.h"
#include "CaseName.h"
#include "HandheldTestSupport.h"
#include "Kvhandheld.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace kv;

namespace {

struct Outcome {
    int status;
    QString out;
    QString err;
};

// kvhandheld in this process, with its output captured.
Outcome kvhandheld(const test::TempHome& home, const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status =
        handheld::runKvhandheld(QStringList{QStringLiteral("--home"), home.path()} + args, o, e);
    o.flush();
    e.flush();
    return {status, out, err};
}

TEST(KvhandheldInit, CreatesTheSixteenTablesOnceAndNeverOverwrites) {
    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
    const Outcome first = kvhandheld(home, {QStringLiteral("init"), device});
    ASSERT_EQ(first.status, 0) << qPrintable(first.err);
    EXPECT_EQ(first.out, QStringLiteral("Created the handheld %1 with 16 empty tables.\n").arg(device));
    EXPECT_TRUE(verifyStore(device).isEmpty());

    test::execSql(device, QStringLiteral("INSERT INTO TA_ZONAS VALUES ('Z1', 'Norte')"));
    const auto before = test::snapshot(device);
    const Outcome again = kvhandheld(home, {QStringLiteral("init"), device});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err,
              QStringLiteral("kvhandheld init: %1 already exists; a handheld is never created over an "
                             "existing file.\n")
                  .arg(device));
    EXPECT_EQ(test::snapshot(device), before);
}

TEST(KvhandheldDump, WritesAHeaderThenRowsInKeyOrderWithNullAndEscapesApart) {
    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
    createStore(device);
    test::execSql(
        device,
        QStringLiteral(
            "INSERT INTO TA_TAREAS VALUES ('T9', 'Último', 1.5, 1200, 0, 1, NULL, 0, NULL, 'a\tb\nc\\d');"
            "INSERT INTO TA_TAREAS VALUES ('T1', ' Service ', NULL, 0.1, 1, 0, NULL, 1, 21, '');"));
    const Outcome r = kvhandheld(home, {QStringLiteral("dump"), device, QStringLiteral("ta_tareas")});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral(
                         "IDTAREA\tDESCRIPCION\tHORASESTIMADAS\tVALORHORA\tMODIFICAVALOR\tEXENTO\tIDTECNICO\t"
                         "PIDEDATOSADIC\tTASAIVA\tDESCRIPCIONADICIONAL\n"
                         "T1\t Service \t\\N\t0.1\t1\t0\t\\N\t1\t21\t\n"
                         "T9\tÚltimo\t1.5\t1200\t0\t1\t\\N\t0\t\\N\ta\\tb\\nc\\\\d\n"));
    EXPECT_TRUE(r.err.isEmpty());
}

TEST(KvhandheldCapture, OneOfEachByDefaultWithASummary) {
    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
    createStore(device);
    test::seedMasters(device);
    Clock::fix(QDateTime(QDate(2024, 5, 17), QTime(10, 0)));
    const Outcome r = kvhandheld(home, {QStringLiteral("capture"), device});
    Clock::fix(QDateTime());
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << qPrintable(r.out);
    EXPECT_EQ(lines.at(0), QStringLiteral("Captured 4 documents on the handheld %1:").arg(device));
    const QStringList keys = {"NP000100000001A", "RM000100000001A", "PR000100000001A", "OT000100000001A"};
    for (int i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(
            lines.at(i + 1).startsWith(QStringLiteral("  ") + keys.at(i) + QStringLiteral("  client C00")))
            << qPrintable(lines.at(i + 1));
        const QString total = test::query(device,
                                          QStringLiteral("SELECT printf('%.2f', MV_CPTE_IMPORTE_TOTAL) FROM "
                                                         "MV_CPTE WHERE MV_CPTE_TSNL = ?"),
                                          {keys.at(i)})
                                  .value(0)
                                  .value(0)
                                  .toString();
        EXPECT_TRUE(lines.at(i + 1).endsWith(QStringLiteral("  total ") + total))
            << qPrintable(lines.at(i + 1));
    }
}

TEST(KvhandheldCapture, RefusedWithoutClientsBeforeAnySend) {
    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
    createStore(device);
    const Outcome r = kvhandheld(
        home, {QStringLiteral("capture"), device, QStringLiteral("--orders"), QStringLiteral("2")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err, QStringLiteral(
                         "kvhandheld capture: The handheld %1 has no clients yet: a sync with the conduit "
                         "registered for sending brings them. Nothing was captured.\n")
                         .arg(device));
}

// Mistakes in what was typed: status 2 and a hint, or status 1 when the command itself fails.
struct UsageCase {
    std::string name;
    QStringList args; // after --home; "FILE" stands for an empty handheld, "TEXT" for a text file
    int status;
    const char* error;
};

class KvhandheldUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(KvhandheldUsage, FailsWithAClearMessage) {
    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
    createStore(device);
    QFile text(home.file(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("not a database, only some notes\n").repeated(100));
    text.close();
    QStringList args = GetParam().args;
    args.replaceInStrings(QStringLiteral("FILE"), device);
    args.replaceInStrings(QStringLiteral("TEXT"), text.fileName());
    const Outcome r = kvhandheld(home, args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().error))) << qPrintable(r.err);
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, KvhandheldUsage,
    ::testing::Values(
        UsageCase{"no_command", {}, 2, "Usage: kvhandheld"},
        UsageCase{"unknown_command", {"sync", "FILE"}, 2, "unknown command \"sync\""},
        UsageCase{"hotsync_without_file", {"hotsync"}, 2, "FILE is required\nUsage: kvhandheld hotsync [OPTIONS] FILE"},
        UsageCase{"hold_not_a_number",
                  {"hotsync", "FILE", "--hold", "soon"},
                  2,
                  "--hold needs a whole number, not \"soon\"\nUsage: kvhandheld hotsync"},
        UsageCase{"missing_value", {"hotsync", "FILE", "--hold"}, 2, "--hold: 1 required SECONDS missing"},
        UsageCase{"server_without_token",
                  {"hotsync", "FILE", "--server", "http://127.0.0.1:9"},
                  2,
                  "--server needs --token T (or $KVCRADLE_TOKEN), and takes no --hold\nUsage: kvhandheld hotsync"},
        UsageCase{"token_without_server",
                  {"hotsync", "FILE", "--token", "abc"},
                  2,
                  "kvhandheld hotsync: --token and --cacert go with --server URL\nUsage: kvhandheld hotsync"},
        UsageCase{"negative_count",
                  {"capture", "FILE", "--orders", "-1"},
                  2,
                  "--orders needs a whole number, not \"-1\""},
        UsageCase{"option_of_another_command",
                  {"dump", "FILE", "MV_CPTE", "--seed", "1"},
                  2,
                  "--seed\nUsage: kvhandheld dump [OPTIONS] FILE TABLE"},
        UsageCase{"dump_without_table", {"dump", "FILE"}, 2, "TABLE is required\nUsage: kvhandheld dump [OPTIONS] FILE TABLE"},
        UsageCase{"dump_unknown_table",
                  {"dump", "FILE", "CLIENTES"},
                  1,
                  "CLIENTES is not a table of a handheld; the tables are TA_CATEGORIAS,"},
        UsageCase{"dump_missing_file", {"dump", "FILE.missing", "MV_CPTE"}, 1, "There is no handheld"},
        UsageCase{
            "dump_not_a_database", {"dump", "TEXT", "MV_CPTE"}, 1, "cannot be opened as an SQLite database"}),
    test::CaseName());

TEST(KvhandheldHelp, ListsEveryCommandAndEachCommandHasItsOwn) {
    test::TempHome home;
    const Outcome all = kvhandheld(home, {QStringLiteral("--help")});
    EXPECT_EQ(all.status, 0);
    for (const char* command : {"\n  init ", "\n  hotsync ", "\n  capture ", "\n  dump "})
        EXPECT_TRUE(all.out.contains(QLatin1String(command))) << command;
    EXPECT_TRUE(all.out.contains(QStringLiteral("3 cancelled or timed out")));
    for (const QStringList& help : {QStringList{"dump", "--help"}, QStringList{"help", "dump"}}) {
        const Outcome one = kvhandheld(home, help);
        EXPECT_EQ(one.status, 0);
        EXPECT_TRUE(one.out.contains(QStringLiteral("Usage: kvhandheld dump [OPTIONS] FILE TABLE\n"))) << qPrintable(one.out);
    }
    const Outcome version = kvhandheld(home, {QStringLiteral("--version")});
    EXPECT_EQ(version.out, QStringLiteral("kvhandheld 1.0.0\n"));
    // The application folder may also follow the command's words.
    const QString device = home.file(QStringLiteral("palm.db"));
    QString out, err;
    QTextStream o(&out), e(&err);
    EXPECT_EQ(handheld::runKvhandheld({QStringLiteral("init"), device, QStringLiteral("--home"), home.path()}, o, e), 0)
        << qPrintable(err);
}

} // namespace
