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

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QtEndian>

using namespace kv;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A header that claims two thousand million pages, as valid as the engine's own.
void claimGiantPageCount(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray header = f.read(100);
    qToBigEndian<quint32>(0x7fffffff, header.data() + 28);
    f.seek(0);
    f.write(header.replace(92, 4, header.mid(24, 4)));
}

const QString kCount = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n%1) ");
const QString kPrices =
    QStringLiteral("DELETE FROM MA_PRECIOS; ") + kCount.arg(QStringLiteral(" WHERE i < 20000")) +
    QStringLiteral("INSERT INTO MA_PRECIOS (IDLISTA, NOMBRE, IDARTICULO, CONIVA) SELECT 'L1', "
                   "'Lista', 'A' || i, 0 FROM n");
// Five million characters built for each price written: minutes of work for twenty thousand.
const QString kHeavyIndex =
    QStringLiteral("CREATE INDEX PESADO ON MA_PRECIOS (length(printf('%.*c', 5000000, IDARTICULO)))");

QString nestedViews() {
    QString sql = QStringLiteral("CREATE TABLE V0 (X); DROP TABLE MA_PRECIOS;");
    for (int i = 1; i <= 120; ++i)
        sql += QStringLiteral("CREATE VIEW %1 AS SELECT X FROM V%2 UNION ALL SELECT X FROM V%2;")
                   .arg(i < 120 ? QStringLiteral("V%1").arg(i) : QStringLiteral("MA_PRECIOS"))
                   .arg(i - 1);
    return sql;
}

// One hostile handheld: the registration it meets (a receive is a real kvctl receive waiting on
// the ERP; a send's registration is made as the program makes it after its export), how its file
// is made, what the refusal says and its error number, by which the network cradle answers.
struct HostileCase {
    const char* name;
    bool receive;
    QString handheld; // statements run on the handheld
    const char* reason;
    long number;
    QString store = {};
    int workSeconds = 0; // 0: the default budget
    void (*patch)(const QString& path) = nullptr;
};

class HostileHandheld : public ::testing::TestWithParam<HostileCase> {
public:
    static void SetUpTestSuite() {
        erp::Options o;
        o.clients = 20;
        o.articles = 10;
        erp::createDemoErp(erp::Target::sqlite(s_erp.filePath(QStringLiteral("erp.db"))), o);
    }
    void SetUp() override {
        ASSERT_TRUE(QFile::copy(s_erp.filePath(QStringLiteral("erp.db")), erp));
        createStore(store);
        createStore(device);
        test::fillAllTables(store, 4, QStringLiteral("s"));
        test::fillAllTables(device, 3, QStringLiteral("hh"));
    }

    test::TempHome home;
    const QString erp = home.file(QStringLiteral("erp.db"));
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    const QString device = home.file(QStringLiteral("palm.db"));
    static inline QTemporaryDir s_erp;
};

// The handheld is refused with its reason; the store, the ERP and the handheld keep every byte,
// and a receive that waits for the sync goes on waiting, imports nothing and ends when cancelled.
TEST_P(HostileHandheld, IsRefusedAndChangesNothing) {
    const HostileCase& c = GetParam();
    if (!c.handheld.isEmpty()) test::execSql(device, c.handheld);
    if (!c.store.isEmpty()) test::execSql(store, c.store);
    if (c.patch) c.patch(device);
    QProcess receive;
    QByteArray seen;
    if (c.receive) {
        settings::writeDevice(1, settings::Nombre, QStringLiteral("Ruta 1"));
        receive.start(
            test::programPath(QStringLiteral("kvctl")),
            {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
             QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;")
                 .arg(erp),
             QStringLiteral("receive"), QStringLiteral("1")});
        ASSERT_TRUE(test::waitForOutput(receive, seen, "Esperando Conex")) << seen.toStdString();
    } else {
        test::ScopedOperator person;
        ASSERT_EQ(RegistrarConducto(false), 0);
    }
    const QByteArray storeBefore = bytesOf(store), erpBefore = bytesOf(erp), deviceBefore = bytesOf(device);

    QStringList args{QStringLiteral("hotsync"), device};
    if (c.workSeconds > 0) args << QStringLiteral("--work-seconds") << QString::number(c.workSeconds);
    const test::ToolRun r = test::runTool(QStringLiteral("kvhandheld"), home, args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("kvhandheld hotsync: ")) &&
                r.err.contains(QLatin1String(c.reason)) &&
                r.err.endsWith(QStringLiteral("othing was copied.\n")) && r.out.isEmpty())
        << qPrintable(r.out + r.err);
    try { // the same sync in process, as the network cradle runs it
        cradle::hotSync(device, 0, {}, 0, std::chrono::seconds(c.workSeconds > 0 ? c.workSeconds : 120));
        ADD_FAILURE() << "the handheld was taken";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), c.number) << qPrintable(e.description());
    }
    EXPECT_FALSE(SyncMonitor().syncUnderWay());
    if (c.receive) {
        EXPECT_EQ(receive.state(), QProcess::Running) << "a refused sync ends no wait";
        receive.terminate();
        ASSERT_TRUE(receive.waitForFinished(30000));
        EXPECT_EQ(receive.exitCode(), 3);
        EXPECT_FALSE((seen + receive.readAllStandardOutput()).contains("Se actualizaron"));
    }
    EXPECT_TRUE(bytesOf(store) == storeBefore && bytesOf(erp) == erpBefore &&
                bytesOf(device) == deviceBefore);
}

using namespace cradle::syncerr;
INSTANTIATE_TEST_SUITE_P(
    Handheld, HostileHandheld,
    ::testing::Values(
        HostileCase{"view_of_300000_documents", true,
                    QStringLiteral("DROP TABLE MV_CPTE; CREATE VIEW MV_CPTE AS ") +
                        kCount.arg(QStringLiteral(" WHERE i < 300000")) +
                        QStringLiteral("SELECT printf('NP0001%08dA', i) AS MV_CPTE_TSNL FROM n"),
                    "MV_CPTE is a view, not a table", SchemaRefused},
        HostileCase{"endless_view", true,
                    QStringLiteral("DROP TABLE MV_CPTE_DETALLE; CREATE VIEW MV_CPTE_DETALLE AS ") +
                        kCount.arg(QString()) + QStringLiteral("SELECT i AS MV_CPTE_DET_ITEM FROM n"),
                    "MV_CPTE_DETALLE is a view, not a table", SchemaRefused},
        HostileCase{"nested_union_views", true, nestedViews(), "MA_PRECIOS is a view, not a table",
                    SchemaRefused},
        HostileCase{"trigger_on_a_store_table", false,
                    QStringLiteral("CREATE TABLE NOTAS (X); CREATE TRIGGER copia AFTER INSERT ON MA_CLIENTES "
                                   "BEGIN INSERT INTO NOTAS VALUES (1); END"),
                    "trigger copia on MA_CLIENTES", SchemaRefused},
        HostileCase{"trigger_raise", true,
                    QStringLiteral(
                        "CREATE TRIGGER niega BEFORE DELETE ON MV_CPTE BEGIN SELECT RAISE(ABORT, 'no'); END"),
                    "trigger niega on MV_CPTE", SchemaRefused},
        HostileCase{
            "virtual_table", true,
            QStringLiteral(
                "DROP TABLE MV_MPCPTES; CREATE VIRTUAL TABLE MV_MPCPTES USING fts5(MP_CPTE_TSNL, "
                "MP_IDCLIENTE, MP_ITEM, MP_IDMEDIOPAGO, MP_IDBANCO, MP_NUMERO, MP_IMPORTE, MP_FECHA)"),
            "MV_MPCPTES is a virtual table, not a table", SchemaRefused},
        HostileCase{"column_missing", true, QStringLiteral("ALTER TABLE MV_CPTE DROP COLUMN MV_CPTE_ITEMS"),
                    "lacks column MV_CPTE.MV_CPTE_ITEMS", TablesMissing},
        HostileCase{"value_the_store_refuses", true,
                    QStringLiteral(
                        "CREATE TABLE T AS SELECT * FROM MV_CPTE; DROP TABLE MV_CPTE; ALTER TABLE T "
                        "RENAME TO MV_CPTE; UPDATE MV_CPTE SET MV_CPTE_TSNL = 'NP0001000000001A-too-long'"),
                    "CHECK constraint failed: MV_CPTE.MV_CPTE_TSNL text(15)", ContentRefused},
        HostileCase{"huge_text", true,
                    QStringLiteral("UPDATE MV_CPTE_DETALLE SET MV_CPTE_DET_DESCR_ADIC_tarea = printf('%.*c', "
                                   "9000000, 'x') WHERE rowid = 1"),
                    "string or blob too big", ContentRefused},
        HostileCase{"giant_page_count",
                    true,
                    {},
                    "cannot be opened as an SQLite database: database disk image is malformed",
                    storeerr::CannotOpen,
                    {},
                    0,
                    claimGiantPageCount},
        HostileCase{"index_of_endless_work", false, kHeavyIndex,
                    "The handheld's file asks for more work than a sync may take (more than 1 s); nothing "
                    "was copied.",
                    TooMuchWork, kPrices, 1},
        HostileCase{"indexes_without_end", false,
                    [] {
                        QString sql;
                        for (int i = 0; i < 40; ++i)
                            sql += QStringLiteral(
                                       "CREATE INDEX P%1 ON MA_PRECIOS (IDARTICULO, NOMBRE, IDLISTA);")
                                       .arg(i);
                        return sql;
                    }(),
                    "the files would grow past", ContentRefused, kPrices}),
    test::CaseName());

// The network cradle's check of an upload speaks of the handheld's file, never of where it is kept.
TEST(CheckHandheldFile, SpeaksOfTheHandheldsFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("upload.db"));
    createStore(path);
    test::execSql(path, QStringLiteral("DROP TABLE MV_CPTE; CREATE VIEW MV_CPTE AS SELECT 1 AS X"));
    try {
        cradle::checkHandheldFile(path);
        ADD_FAILURE() << "the view was taken";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), SchemaRefused);
        EXPECT_EQ(e.description(),
                  QStringLiteral("The handheld's file cannot be synced: MV_CPTE is a view, not a "
                                 "table (a sync copies only real tables, and runs no trigger of "
                                 "a handheld's). Nothing was copied."));
    }
}

} // namespace
