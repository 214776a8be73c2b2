#include "app/RunTimeError.h"
#include "CaseName.h"
#include "conduit/Conducto.h"
#include "conduit/SyncMonitor.h"
#include "cradle/HotSync.h"
#include "DemoErp.h"
#include "HandheldTestSupport.h"
#include "ScriptedOperator.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>
#include <QThread>
#include <sqlite3.h>

using namespace kv;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

const QString kRecursive =
    QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n%1)");

// A rule that builds a text of five million characters for each row written: minutes of work for
// twenty thousand prices.
const QString kEndlessRule = QStringLiteral("CHECK (length(printf('%.*c', 5000000, IDARTICULO)) > 0)");

QString twentyThousandPrices() {
    return QStringLiteral(
               "DELETE FROM MA_PRECIOS; %1 INSERT INTO MA_PRECIOS (IDLISTA, NOMBRE, IDARTICULO, CONIVA) "
               "SELECT 'L1', 'Lista', 'A' || i, 0 FROM n")
        .arg(kRecursive.arg(QStringLiteral(" WHERE i < 20000")));
}

// "DROP TABLE T; CREATE TABLE T (its columns, without the store's rules[, extra])".
QString plainTable(const QString& name, const QString& extra = {}) {
    QStringList columns;
    for (const StoreColumn& c : findStoreTable(name)->columns)
        columns << quoteIdentifier(c.name);
    if (!extra.isEmpty()) columns << extra;
    return QStringLiteral("DROP TABLE %1; CREATE TABLE %1 (%2);")
        .arg(name, columns.join(QStringLiteral(", ")));
}

// "DROP TABLE T; CREATE VIEW T AS SELECT <key> AS first column, NULL AS the others FROM source".
QString viewInPlace(const QString& name, const QString& with, const QString& key, const QString& source) {
    const QList<StoreColumn>& columns = findStoreTable(name)->columns;
    QStringList select{key + QStringLiteral(" AS ") + quoteIdentifier(columns.first().name)};
    for (qsizetype i = 1; i < columns.size(); ++i)
        select << QStringLiteral("NULL AS ") + quoteIdentifier(columns.at(i).name);
    return QStringLiteral("DROP TABLE %1; CREATE VIEW %1 AS %2 SELECT %3 FROM %4;")
        .arg(name, with, select.join(QStringLiteral(", ")), source);
}

QString nestedUnionViews(int depth) {
    QString sql = QStringLiteral("CREATE TABLE V0 (X); INSERT INTO V0 VALUES (1);");
    for (int i = 1; i < depth; ++i)
        sql += QStringLiteral("CREATE VIEW V%1 AS SELECT X FROM V%2 UNION ALL SELECT X FROM V%2;")
                   .arg(i)
                   .arg(i - 1);
    return sql + viewInPlace(QStringLiteral("MA_PRECIOS"), {}, QStringLiteral("X"),
                             QStringLiteral("V%1").arg(depth - 1));
}

// Runs statements on a connection that knows the collation KVX, as the handheld application that
// made the file would.
void execWithCollation(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const auto compare = [](void*, int n1, const void* s1, int n2, const void* s2) {
        const int n = std::memcmp(s1, s2, size_t(std::min(n1, n2)));
        return n != 0 ? n : n1 - n2;
    };
    sqlite3_create_collation(db, "KVX", SQLITE_UTF8, nullptr, compare);
    EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A header that claims two thousand million pages, as valid as the engine's own.
void claimGiantPageCount(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray header = f.read(100);
    qToBigEndian<quint32>(0x7fffffff, header.data() + 28);
    header.replace(92, 4, header.mid(24, 4));
    f.seek(0);
    f.write(header);
}

// One hostile handheld: the registration it meets, how its file is made, what the refusal says
// and its error number (the network cradle answers by it). A receive is a real kvctl receive
// waiting on the ERP; a send's registration is made as the program makes it after its export.
struct HostileCase {
    const char* name;
    bool receive;
    std::function<void(const QString& handheld, const QString& store)> arrange;
    const char* reason;
    long number;
    int workSeconds = 0; // 0: the default budget
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileHandheld : public ::testing::TestWithParam<HostileCase> {
public:
    static void SetUpTestSuite() {
        s_erpDir = new QTemporaryDir;
        erp::Options o;
        o.clients = 20;
        o.articles = 10;
        o.vendors = 2;
        o.documents = 2;
        erp::createDemoErp(erp::Target::sqlite(s_erpDir->filePath(QStringLiteral("erp.db"))), o);
    }
    static void TearDownTestSuite() {
        delete s_erpDir;
        s_erpDir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(QFile::copy(s_erpDir->filePath(QStringLiteral("erp.db")), erp));
        createStore(store);
        createStore(device);
        test::fillAllTables(store, 4, QStringLiteral("s"));
        test::fillAllTables(device, 3, QStringLiteral("hh"));
        settings::writeDevice(1, settings::Nombre, QStringLiteral("Ruta 1"));
    }

    // kvctl receive 1, read until it waits for the sync.
    void startReceive() {
        receive.start(
            test::programPath(QStringLiteral("kvctl")),
            {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
             QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;")
                 .arg(erp),
             QStringLiteral("receive"), QStringLiteral("1")});
        ASSERT_TRUE(test::waitForOutput(receive, seen, "Esperando Conex")) << seen.toStdString();
    }

    test::TempHome home;
    const QString erp = home.file(QStringLiteral("erp.db"));
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    const QString device = home.file(QStringLiteral("palm.db"));
    QProcess receive;
    QByteArray seen;

private:
    static QTemporaryDir* s_erpDir;
};

QTemporaryDir* HostileHandheld::s_erpDir = nullptr;

// The handheld is refused with its reason; the store, the ERP and the handheld keep every byte,
// and a receive that waits for the sync goes on waiting, imports nothing and ends when cancelled.
TEST_P(HostileHandheld, IsRefusedAndChangesNothing) {
    const HostileCase& c = GetParam();
    c.arrange(device, store);
    if (c.receive) {
        startReceive();
    } else {
        test::ScopedOperator person;
        ASSERT_EQ(RegistrarConducto(false), 0);
    }
    const QByteArray storeBefore = bytesOf(store), erpBefore = bytesOf(erp), deviceBefore = bytesOf(device);

    QStringList options;
    if (c.workSeconds > 0) options << QStringLiteral("--work-seconds") << QString::number(c.workSeconds);
    const test::ToolRun r = test::runTool(QStringLiteral("kvhandheld"), home,
                                          QStringList{QStringLiteral("hotsync"), device} + options);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("kvhandheld hotsync: ")) &&
                r.err.contains(QLatin1String(c.reason)) &&
                r.err.endsWith(QStringLiteral("othing was copied.\n")))
        << qPrintable(r.err);
    EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
    // The same sync in process, as the network cradle runs it.
    try {
        cradle::hotSync(device, 0, {}, 0,
                        c.workSeconds > 0 ? std::chrono::seconds(c.workSeconds) : cradle::kDefaultWorkBudget);
        ADD_FAILURE() << "the handheld was taken";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), c.number) << qPrintable(e.description());
    }

    if (c.receive) {
        EXPECT_EQ(receive.state(), QProcess::Running) << "a refused sync ends no wait";
        receive.terminate();
        ASSERT_TRUE(receive.waitForFinished(30000));
        seen += receive.readAllStandardOutput();
        EXPECT_EQ(receive.exitCode(), 3) << receive.readAllStandardError().toStdString();
        EXPECT_FALSE(seen.contains("Se actualizaron")) << seen.toStdString();
    }
    EXPECT_TRUE(bytesOf(store) == storeBefore);
    EXPECT_TRUE(bytesOf(erp) == erpBefore);
    EXPECT_TRUE(bytesOf(device) == deviceBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, HostileHandheld,
    ::testing::Values(
        HostileCase{"view_of_300000_documents", true,
                    [](const QString& h, const QString&) {
                        test::execSql(h, viewInPlace(QStringLiteral("MV_CPTE"),
                                                     kRecursive.arg(QStringLiteral(" WHERE i < 300000")),
                                                     QStringLiteral("printf('NP0001%08dA', i)"),
                                                     QStringLiteral("n")));
                    },
                    "MV_CPTE is a view, not a table", cradle::syncerr::SchemaRefused},
        HostileCase{"endless_view", true,
                    [](const QString& h, const QString&) {
                        test::execSql(h, viewInPlace(QStringLiteral("MV_CPTE_DETALLE"),
                                                     kRecursive.arg(QString()), QStringLiteral("'NP' || i"),
                                                     QStringLiteral("n")));
                    },
                    "MV_CPTE_DETALLE is a view, not a table", cradle::syncerr::SchemaRefused},
        HostileCase{"nested_union_views", true,
                    [](const QString& h, const QString&) { test::execSql(h, nestedUnionViews(120)); },
                    "MA_PRECIOS is a view, not a table", cradle::syncerr::SchemaRefused},
        HostileCase{"trigger_on_a_store_table", false,
                    [](const QString& h, const QString&) {
                        test::execSql(
                            h, QStringLiteral("CREATE TABLE NOTAS (X); CREATE TRIGGER copia AFTER INSERT "
                                              "ON MA_CLIENTES BEGIN INSERT INTO NOTAS VALUES (1); END"));
                    },
                    "trigger copia on MA_CLIENTES", cradle::syncerr::SchemaRefused},
        HostileCase{"trigger_raise", true,
                    [](const QString& h, const QString&) {
                        test::execSql(h, QStringLiteral("CREATE TRIGGER niega BEFORE DELETE ON MV_CPTE BEGIN "
                                                        "SELECT RAISE(ABORT, 'no'); END"));
                    },
                    "trigger niega on MV_CPTE", cradle::syncerr::SchemaRefused},
        HostileCase{"virtual_table", true,
                    [](const QString& h, const QString&) {
                        QStringList columns;
                        for (const StoreColumn& c : findStoreTable(QStringLiteral("MV_MPCPTES"))->columns)
                            columns << c.name;
                        test::execSql(h,
                                      QStringLiteral("DROP TABLE MV_MPCPTES; CREATE VIRTUAL TABLE MV_MPCPTES "
                                                     "USING fts5(%1)")
                                          .arg(columns.join(QStringLiteral(", "))));
                    },
                    "MV_MPCPTES is a virtual table, not a table", cradle::syncerr::SchemaRefused},
        HostileCase{"column_missing", true,
                    [](const QString& h, const QString&) {
                        test::execSql(h, QStringLiteral("ALTER TABLE MV_CPTE DROP COLUMN MV_CPTE_ITEMS"));
                    },
                    "lacks column MV_CPTE.MV_CPTE_ITEMS", cradle::syncerr::TablesMissing},
        HostileCase{"value_the_store_refuses", true,
                    [](const QString& h, const QString&) {
                        test::execSql(h, plainTable(QStringLiteral("MV_CPTE")) +
                                             QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL) VALUES "
                                                            "('NP0001000000001A-much-too-long-for-a-key')"));
                    },
                    "CHECK constraint failed: MV_CPTE.MV_CPTE_TSNL text(15)",
                    cradle::syncerr::ContentRefused},
        HostileCase{"huge_text", true,
                    [](const QString& h, const QString&) {
                        test::execSql(
                            h, QStringLiteral("UPDATE MV_CPTE_DETALLE SET MV_CPTE_DET_DESCR_ADIC_tarea = "
                                              "printf('%.*c', 9000000, 'x') WHERE rowid = 1"));
                    },
                    "string or blob too big", cradle::syncerr::ContentRefused},
        HostileCase{
            "giant_page_count", true, [](const QString& h, const QString&) { claimGiantPageCount(h); },
            "cannot be opened as an SQLite database: database disk image is malformed", storeerr::CannotOpen},
        HostileCase{"rule_of_endless_work", false,
                    [](const QString& h, const QString& s) {
                        test::execSql(h, plainTable(QStringLiteral("MA_PRECIOS"), kEndlessRule));
                        test::execSql(s, twentyThousandPrices());
                    },
                    "The handheld's file asks for more work than a sync may take (more than 1 s); nothing "
                    "was copied.",
                    cradle::syncerr::TooMuchWork, 1},
        // Forty indexes on the prices: the send would make the handheld many times the two files.
        HostileCase{"indexes_without_end", false,
                    [](const QString& h, const QString& s) {
                        QString indexes = plainTable(QStringLiteral("MA_PRECIOS"));
                        for (int i = 0; i < 40; ++i)
                            indexes += QStringLiteral(
                                           "CREATE INDEX MA_PRECIOS_%1 ON MA_PRECIOS (IDARTICULO, NOMBRE, "
                                           "IDLISTA);")
                                           .arg(i);
                        test::execSql(h, indexes);
                        test::execSql(s, twentyThousandPrices());
                    },
                    "the files would grow past", cradle::syncerr::ContentRefused},
        // A rule calling a function that is unsafe in an untrusted schema: the schema does not load.
        HostileCase{"rule_calling_an_unsafe_function", false,
                    [](const QString& h, const QString&) {
                        test::execSql(h, plainTable(QStringLiteral("MA_CLIENTES"),
                                                    QStringLiteral("CHECK (json_valid(CONTACTO) OR 1)")));
                    },
                    "unsafe use of json_valid()", storeerr::CannotOpen},
        // A collation of the program that made the file: the sync's statements on the table do not
        // compile.
        HostileCase{"key_in_an_unknown_collation", false,
                    [](const QString& h, const QString&) {
                        execWithCollation(h, plainTable(QStringLiteral("MA_CLIENTES"))
                                                 .replace(QStringLiteral("\"IDCLIENTE\""),
                                                          QStringLiteral("IDCLIENTE COLLATE KVX UNIQUE")));
                    },
                    "no such collation sequence: KVX", cradle::syncerr::ContentRefused}),
    test::CaseName());

// SIGTERM ends a sync that is busy on a handheld's rule; the store and the sync lock are left as
// they were, and the handheld's copy is undone when it is next opened.
TEST_F(HostileHandheld, SigtermEndsASyncBusyOnTheHandheld) {
    test::execSql(device, plainTable(QStringLiteral("MA_PRECIOS"), kEndlessRule));
    test::execSql(store, twentyThousandPrices());
    {
        test::ScopedOperator person;
        ASSERT_EQ(RegistrarConducto(false), 0);
    }
    const QByteArray storeBefore = bytesOf(store);
    const auto deviceBefore = test::snapshot(device);

    QProcess sync;
    sync.start(test::programPath(QStringLiteral("kvhandheld")),
               {QStringLiteral("--home"), home.path(), QStringLiteral("hotsync"), device});
    ASSERT_TRUE(sync.waitForStarted());
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(device + QStringLiteral("-journal")) && t.elapsed() < 20000 &&
           sync.state() != QProcess::NotRunning)
        QThread::usleep(200);
    ASSERT_EQ(sync.state(), QProcess::Running) << sync.readAllStandardError().toStdString();
    ::kill(pid_t(sync.processId()), SIGTERM);
    ASSERT_TRUE(sync.waitForFinished(10000));
    EXPECT_EQ(sync.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
    EXPECT_TRUE(bytesOf(store) == storeBefore);
    EXPECT_EQ(test::snapshot(device), deviceBefore);
}

// The check the network cradle makes of an upload: the same refusals, speaking of the handheld's
// file and never of where it is kept.
TEST(CheckHandheldFile, SpeaksOfTheHandheldsFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("upload.db"));
    const struct {
        const char* name;
        std::function<void()> make;
        long number; // 0: taken
        const char* message;
    } cases[] = {
        {"as_made", [&] { createStore(path); }, 0, ""},
        {"view",
         [&] {
             createStore(path);
             test::execSql(path, QStringLiteral("DROP TABLE MV_CPTE; CREATE VIEW MV_CPTE AS SELECT 1 AS X"));
         },
         cradle::syncerr::SchemaRefused,
         "The handheld's file cannot be synced: MV_CPTE is a view, not a table (a sync copies only real "
         "tables, "
         "and runs no trigger of a handheld's). Nothing was copied."},
        {"not_sqlite",
         [&] {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray(4096, 'x'));
         },
         storeerr::CannotOpen,
         "The handheld's file cannot be opened as an SQLite database: file is not a database. Nothing was "
         "copied."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        c.make();
        try {
            cradle::checkHandheldFile(path);
            EXPECT_EQ(c.number, 0);
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_EQ(e.description(), QString::fromUtf8(c.message));
        }
    }
}

} // namespace
