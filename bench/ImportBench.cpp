// bench import: 10,000 documents of 5 lines each, from a local sync store into a demo ERP (with
// --pg CONNINFO also PostgreSQL, natively and through psqlODBC), through the program's own
// import, alternated with a baseline that does the same writes and lookups as set-based SQL
// (INSERT ... SELECT with joins) on the same ERP, three rounds each. Prints the medians and, per
// ERP, the ratio of the import's time to the baseline's; the last line is the SQLite ERP's ratio=R.
#include "DemoErp.h"
#include "app/Cfg.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "data/DB_Dll.h"
#include "store/StoreFile.h"
#include "sync/SyncRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace kv;

namespace {

// The person at the screen during a benchmark: answers nothing, sees nothing.
class QuietOperator : public Operator {
public:
    class Status : public StatusWindow {
        void open(const QString&, bool) override {}
        void offerCancel(bool) override {}
        bool showTexts(const QString&, const QString&, const QString&) override { return false; }
        void close() override {}
    };
    int messageBox(const QString& text, int, const QString&) override {
        last = text;
        return mb::Ok;
    }
    int errorPrompt(const QString& text, int, const QString&) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        return mb::Abort;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFile(const QString&, const QString&) override { return std::nullopt; }
    bool connectionDialog(ConnectionValues&) override { return false; }
    void listLookup(LookupSession&) override {}
    StatusWindow& statusWindow() override { return status; }
    void showStepProgress(StepProgress&) override {}
    void processEvents() override {}
    Status status;
    QString last;
};

bool exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (q.exec(sql)) return true;
    std::fprintf(stderr, "%s\n%s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

// Store documents for existing clients: types NP, RM, PR, OT in turn, 5 lines each.
void fillStore(const QString& store, const QString& erp, int documents) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(store);
    db.open();
    exec(db, QStringLiteral("ATTACH DATABASE '%1' AS erp").arg(erp));
    exec(db, QStringLiteral("BEGIN"));
    exec(db, QStringLiteral(
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1), "
                 "c AS (SELECT CODIGO, ROW_NUMBER() OVER (ORDER BY CODIGO) - 1 AS k FROM erp.VT_CLIENTES), "
                 "cc AS (SELECT COUNT(*) AS total FROM c) "
                 "INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, MV_CPTE_TIPOREG, "
                 "MV_CPTE_IDCOMPROBANTE, MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, MV_CPTE_DTOGLOBAL, MV_CPTE_IDCLIENTE, "
                 "MV_CPTE_ITEMS, MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL, MV_CPTE_IMPORTE_IVA, MV_CPTE_NETO_GRAV, "
                 "MV_CPTE_NETO_NO_GRAV) "
                 "SELECT t || '0001' || printf('%08d', i) || 'A', '2026-12-01', '2026-12-03', t, "
                 "'0001' || printf('%08d', i) || 'A', 1, 1, 0, c.CODIGO, 5, 100, 121, 21, 100, 0 "
                 "FROM (SELECT i, CASE i % 4 WHEN 0 THEN 'NP' WHEN 1 THEN 'RM' WHEN 2 THEN 'PR' ELSE 'OT' END AS t FROM n) d "
                 "JOIN c ON c.k = d.i % (SELECT total FROM cc)")
                 .arg(documents));
    exec(db, QStringLiteral("WITH RECURSIVE l(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM l WHERE j < 5) "
                            "INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDTAREA, "
                            "MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_HORAS, MV_CPTE_DET_PRECIO, MV_CPTE_DET_PRECIO_S_IVA, "
                            "MV_CPTE_DET_TOTAL, MV_CPTE_DET_DESCR_ADIC_tarea, MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, "
                            "MV_CPTE_DET_FECHA_ENTREGA, MV_CPTE_DET_IDarticulo, MV_CPTE_DET_dto, MV_CPTE_DET_CANTIDAD, "
                            "MV_CPTE_DET_UNIDAD, MV_CPTE_DET_IMP_IVA, MV_CPTE_DET_IMP_INT) "
                            "SELECT MV_CPTE_TSNL, j, 'T001', ' Linea ' || j || ' ', 1.5, 20, 16.53, 30, 'adicional', "
                            "MV_CPTE_IDCLIENTE, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, 'ART-' || j, 0, 2, 'UN', 3.47, 0 "
                            "FROM MV_CPTE, l"));
    exec(db, QStringLiteral("COMMIT"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// The same writes and lookups as set-based SQL (duplicate test, client join, headers, lines),
// run on the ERP's own connection; `st` prefixes the store's tables there. Returns its seconds.
double baseline(QSqlDatabase& db, const QString& st) {
    QElapsedTimer t;
    t.start();
    db.transaction();
    auto text = [](const char* column) { return QStringLiteral("COALESCE(CAST(%1 AS VARCHAR(100)),'')").arg(QLatin1String(column)); };
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CPTE (TC, IdComprobante, IdComplemento, Fecha, FECHAESTINICIO, FECHAESTFIN, Cuenta, "
                 "Nombre, DOMICILIO, Localidad, Telefono, IDPROVINCIA, CODIGOPOSTAL, DOCUMENTOTIPO, DOCUMENTONUMERO, "
                 "CONDICIONIVA, Importe_S_IVA, Importe, ImporteIVA, NetoGravado, NETONOGRAVADO, ClasePrecio, IMPORTEINSUMOS) "
                 "SELECT substr(m.MV_CPTE_TSNL, 1, 2), substr(m.MV_CPTE_TSNL, 3, 13), 0, m.MV_CPTE_FECHA, m.MV_CPTE_FECHA, "
                 "m.MV_CPTE_FECHA, m.MV_CPTE_IDCLIENTE, c.RAZON_SOCIAL, %2 || ' ' || %3 || ' ' || %4 || ' ' || %5, %6, %7, "
                 "NULLIF(%8,''), TRIM(%9), c.DOCUMENTO_TIPO, c.NUMERO_DOCUMENTO, c.IVA, "
                 "m.MV_CPTE_IMPORTE_S_IVA, m.MV_CPTE_IMPORTE_TOTAL, m.MV_CPTE_IMPORTE_IVA, m.MV_CPTE_NETO_GRAV, "
                 "m.MV_CPTE_NETO_NO_GRAV, m.MV_CPTE_CLASE_PRECIO, m.MV_CPTE_IMPORTE_S_IVA "
                 "FROM %1MV_CPTE m JOIN VT_CLIENTES c ON c.CTACODIGO = m.MV_CPTE_IDCLIENTE "
                 "WHERE NOT EXISTS (SELECT 1 FROM V_MV_CPTE v WHERE v.TC = substr(m.MV_CPTE_TSNL, 1, 2) "
                 "AND v.IdComprobante = substr(m.MV_CPTE_TSNL, 3, 13))")
                 .arg(st, text("c.CALLE"), text("c.Numero"), text("c.PISO"), text("c.DEPARTAMENTO"), text("c.LOCALIDAD"),
                      text("c.TELEFONO"), text("c.PROVINCIA"), text("c.CPostal")));
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CpteInsumos (TC, IdComprobante, IdComplemento, IdArticulo, Descripcion, Cantidad, "
                 "IdUnidad, Impuestos, Importe, Importe_S_IVA, Total) "
                 "SELECT substr(d.MV_CPTE_DET_TSNL, 1, 2), substr(d.MV_CPTE_DET_TSNL, 3, 13), 0, d.MV_CPTE_DET_IDarticulo, "
                 "TRIM(d.MV_CPTE_DET_DESCRIPCION), d.MV_CPTE_DET_CANTIDAD, d.MV_CPTE_DET_UNIDAD, d.MV_CPTE_DET_IMP_INT, "
                 "d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_PRECIO_S_IVA, d.MV_CPTE_DET_TOTAL "
                 "FROM %1MV_CPTE_DETALLE d WHERE substr(d.MV_CPTE_DET_TSNL, 1, 2) IN ('NP','RM','PR')")
                 .arg(st));
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CpteTareas (TC, IdComprobante, IdComplemento, IdTarea, Descripcion, Horas, valorhora, "
                 "valorHora_S_Iva, Total, EXENTO, descripcionadicional) "
                 "SELECT 'OT', substr(d.MV_CPTE_DET_TSNL, 3, 13), 0, d.MV_CPTE_DET_IDTAREA, TRIM(d.MV_CPTE_DET_DESCRIPCION), "
                 "d.MV_CPTE_DET_HORAS, d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_TOTAL, 0, "
                 "d.MV_CPTE_DET_DESCR_ADIC_tarea FROM %1MV_CPTE_DETALLE d WHERE substr(d.MV_CPTE_DET_TSNL, 1, 2) = 'OT'")
                 .arg(st));
    db.commit();
    return t.nsecsElapsed() / 1e9;
}

// The import's targets emptied again, so every round writes the same documents.
void clearTargets(QSqlDatabase& db) {
    for (const char* table : {"V_MV_CPTE", "V_MV_CpteInsumos", "V_MV_CpteTareas", "GM_V_MV_PLANILLA_CAB"})
        exec(db, QStringLiteral("DELETE FROM ") + QLatin1String(table));
}

// The store's document tables copied into the PostgreSQL ERP as st_ tables, typed as their
// values are, for the baseline there (not timed).
void copyStoreTables(QSqlDatabase& pg, const QString& store) {
    QSqlDatabase lite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copy"));
    lite.setDatabaseName(store);
    lite.open();
    for (const char* table : {"MV_CPTE", "MV_CPTE_DETALLE"}) {
        QSqlQuery info(lite);
        info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table)));
        QStringList columns, defs;
        while (info.next()) {
            const QString name = info.value(1).toString(), type = info.value(2).toString().toUpper();
            const QString pgType = type.contains(QLatin1String("INT")) ? QStringLiteral("bigint")
                                   : type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"))
                                       ? QStringLiteral("timestamp")
                                   : type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("DOUB")) ||
                                           type.contains(QLatin1String("NUM")) || type.contains(QLatin1String("CURR")) ||
                                           type.contains(QLatin1String("FLOA")) || type.contains(QLatin1String("DEC"))
                                       ? QStringLiteral("numeric")
                                       : QStringLiteral("text");
            columns << name;
            defs << name + QLatin1Char(' ') + pgType;
        }
        exec(pg, QStringLiteral("DROP TABLE IF EXISTS st_%1").arg(QLatin1String(table)));
        exec(pg, QStringLiteral("CREATE TABLE st_%1 (%2)").arg(QLatin1String(table), defs.join(QStringLiteral(", "))));
        pg.transaction();
        QSqlQuery insert(pg);
        insert.prepare(QStringLiteral("INSERT INTO st_%1 (%2) VALUES (%3)")
                           .arg(QLatin1String(table), columns.join(QLatin1Char(',')),
                                QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(','))));
        QSqlQuery rows(lite);
        rows.exec(QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QLatin1Char(',')), QLatin1String(table)));
        while (rows.next()) {
            for (int i = 0; i < columns.size(); ++i) insert.bindValue(i, rows.value(i));
            if (!insert.exec()) std::fprintf(stderr, "%s\n", qPrintable(insert.lastError().text()));
        }
        pg.commit();
    }
    lite.close();
    lite = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("copy"));
}

// Where the program's ERP connection goes: an SQLite file, or PostgreSQL natively or through
// its ODBC driver.
struct ErpUnderTest {
    QString name;
    Engine engine = Engine::Sqlite;
    QString file;   // SQLite
    QHash<QString, QString> pg; // conninfo's values
    bool odbc = false;
};

QHash<QString, QString> connInfoValues(const QString& connInfo) {
    QHash<QString, QString> v;
    for (const QString& part : connInfo.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        v.insert(part.section(QLatin1Char('='), 0, 0), part.section(QLatin1Char('='), 1));
    return v;
}

QSqlDatabase plainConnection(const ErpUnderTest& e) {
    QSqlDatabase db;
    if (e.engine == Engine::Sqlite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("baseline"));
        db.setDatabaseName(e.file);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("baseline"));
        db.setHostName(e.pg.value(QStringLiteral("host")));
        db.setPort(e.pg.value(QStringLiteral("port"), QStringLiteral("5432")).toInt());
        db.setUserName(e.pg.value(QStringLiteral("user")));
        db.setDatabaseName(e.pg.value(QStringLiteral("dbname")));
    }
    db.open();
    return db;
}

// One import by the program, on a fresh copy of the store. Its seconds, or -1 when it failed.
double programImport(const ErpUnderTest& e, const QString& store, int documents, QTextStream& out) {
    QuietOperator person;
    setOperator(&person);
    configTableName() = QStringLiteral("ta_configuracion");
    ErpDb().gMotor = e.engine;
    if (e.engine == Engine::Sqlite) {
        ErpDb().gDBName = e.file;
    } else {
        ErpDb().gServidor = e.pg.value(QStringLiteral("host")) + QLatin1Char(',') + e.pg.value(QStringLiteral("port"));
        ErpDb().gDBName = e.pg.value(QStringLiteral("dbname"));
        ErpDb().gUsuario = e.pg.value(QStringLiteral("user"));
    }
    ErpDb().OpenServerADODB(false, 3, QString(), false);
    LocalDb().gProveedor = DB_Dll::pJETOLEDB40();
    LocalDb().gDBName = store;
    LocalDb().OpenLocalADODB();
    QElapsedTimer t;
    t.start();
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    SyncRunState run(trap);
    const RunOutcome outcome = importDocuments(run);
    const double seconds = t.nsecsElapsed() / 1e9;
    resetProgramDatabases();
    setOperator(nullptr);
    if (outcome != RunOutcome::Imported || run.imported != documents) {
        out << "the import did not complete: " << run.imported << " imported" << Qt::endl;
        return -1;
    }
    return seconds;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// Three rounds of the program's import and the baseline in alternation; prints both medians and
// the ratio, as `ratio_NAME=R` (or `ratio=R` for the SQLite ERP).
bool measure(const ErpUnderTest& e, const QString& pristineStore, const QString& store, int documents, QTextStream& out) {
    QSqlDatabase db = plainConnection(e);
    clearTargets(db);
    const QString st = e.engine == Engine::Sqlite ? QStringLiteral("st.") : QStringLiteral("st_");
    if (e.engine == Engine::Sqlite) exec(db, QStringLiteral("ATTACH DATABASE '%1' AS st").arg(pristineStore));
    else copyStoreTables(db, pristineStore);
    QList<double> program, base;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(store);
        QFile::copy(pristineStore, store);
        const double p = programImport(e, store, documents, out);
        if (p < 0) return false;
        program << p;
        clearTargets(db);
        base << baseline(db, st);
        clearTargets(db);
        out << e.name << " round " << round + 1 << ": import " << QString::number(p, 'f', 2) << " s, baseline "
            << QString::number(base.last(), 'f', 2) << " s" << Qt::endl;
    }
    const double p = median(program), b = median(base);
    out << e.name << ": import " << QString::number(p, 'f', 2) << " s (" << QString::number(documents / p, 'f', 0)
        << " documents/s), baseline " << QString::number(b, 'f', 2) << " s (set-based INSERT ... SELECT with joins)"
        << Qt::endl;
    out << (e.engine == Engine::Sqlite ? QStringLiteral("ratio=") : QStringLiteral("ratio_%1=").arg(e.name))
        << QString::number(p / b, 'f', 2) << Qt::endl;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("baseline"));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int documents = 10000;
    QString pg;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pg") && i + 1 < args.size()) pg = args[++i];
        else documents = args[i].toInt();
    }
    QTemporaryDir dir;
    QTextStream out(stdout);
    const QString erp = dir.filePath(QStringLiteral("erp.db"));
    const QString pristine = dir.filePath(QStringLiteral("store-pristine.mdb"));
    const QString store = dir.filePath(QStringLiteral("kvpalmsync.mdb"));
    qputenv("KVCONTROL_HOME", dir.path().toLocal8Bit());
    erp::Options o;
    o.clients = 2000;
    o.documents = 0;
    erp::createDemoErp(erp::Target::sqlite(erp), o);
    createStore(pristine);
    fillStore(pristine, erp, documents);
    out << "documents: " << documents << " of 5 lines each" << Qt::endl;

    QList<ErpUnderTest> erps;
    if (!pg.isEmpty()) {
        erp::createDemoErp(erp::Target::postgres(pg), o);
        erps << ErpUnderTest{QStringLiteral("postgresql"), Engine::PostgreSql, {}, connInfoValues(pg), false};
        erps << ErpUnderTest{QStringLiteral("postgresql_odbc"), Engine::PostgreSql, {}, connInfoValues(pg), true};
    }
    erps << ErpUnderTest{QStringLiteral("sqlite"), Engine::Sqlite, erp, {}, false}; // last: the last line is its ratio
    for (const ErpUnderTest& e : erps) {
        // Through ODBC when the settings name psqlODBC as PostgreSQL's driver.
        QFile ini(dir.filePath(QStringLiteral("CN000pr.INI")));
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        if (e.odbc) ini.write("[General]\nDriverPostgreSQL=PostgreSQL Unicode\n");
        ini.close();
        if (!measure(e, pristine, store, documents, out)) return 1;
    }
    return 0;
}
