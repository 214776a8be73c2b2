// bench import: 10,000 documents of 5 lines each, from a local sync store into an SQLite demo
// ERP, through the program's own import. Prints documents per second and, as its last line,
// ratio=R: the import's time divided by the time of a baseline that does the same writes and
// lookups as set-based SQL (INSERT ... SELECT with joins) on a copy of the same databases.
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

// The same writes and lookups as set-based SQL: duplicate test, client join, headers, lines.
double baseline(const QString& store, const QString& erp) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("baseline"));
    db.setDatabaseName(erp);
    db.open();
    QElapsedTimer t;
    t.start();
    exec(db, QStringLiteral("ATTACH DATABASE '%1' AS st").arg(store));
    exec(db, QStringLiteral("BEGIN"));
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CPTE (TC, IdComprobante, IdComplemento, Fecha, FECHAESTINICIO, FECHAESTFIN, Cuenta, "
                 "Nombre, DOMICILIO, Localidad, Telefono, IDPROVINCIA, CODIGOPOSTAL, DOCUMENTOTIPO, DOCUMENTONUMERO, "
                 "CONDICIONIVA, Importe_S_IVA, Importe, ImporteIVA, NetoGravado, NETONOGRAVADO, ClasePrecio, IMPORTEINSUMOS) "
                 "SELECT substr(m.MV_CPTE_TSNL, 1, 2), substr(m.MV_CPTE_TSNL, 3, 13), 0, m.MV_CPTE_FECHA, m.MV_CPTE_FECHA, "
                 "m.MV_CPTE_FECHA, m.MV_CPTE_IDCLIENTE, c.RAZON_SOCIAL, IFNULL(c.CALLE,'') || ' ' || IFNULL(c.Numero,'') || ' ' || "
                 "IFNULL(c.PISO,'') || ' ' || IFNULL(c.DEPARTAMENTO,''), IFNULL(c.LOCALIDAD,''), IFNULL(c.TELEFONO,''), "
                 "NULLIF(IFNULL(c.PROVINCIA,''),''), TRIM(IFNULL(c.CPostal,'')), c.DOCUMENTO_TIPO, c.NUMERO_DOCUMENTO, c.IVA, "
                 "m.MV_CPTE_IMPORTE_S_IVA, m.MV_CPTE_IMPORTE_TOTAL, m.MV_CPTE_IMPORTE_IVA, m.MV_CPTE_NETO_GRAV, "
                 "m.MV_CPTE_NETO_NO_GRAV, m.MV_CPTE_CLASE_PRECIO, m.MV_CPTE_IMPORTE_S_IVA "
                 "FROM st.MV_CPTE m JOIN VT_CLIENTES c ON c.CTACODIGO = m.MV_CPTE_IDCLIENTE "
                 "WHERE NOT EXISTS (SELECT 1 FROM V_MV_CPTE v WHERE v.TC = substr(m.MV_CPTE_TSNL, 1, 2) "
                 "AND v.IdComprobante = substr(m.MV_CPTE_TSNL, 3, 13))"));
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CpteInsumos (TC, IdComprobante, IdComplemento, IdArticulo, Descripcion, Cantidad, "
                 "IdUnidad, Impuestos, Importe, Importe_S_IVA, Total) "
                 "SELECT substr(d.MV_CPTE_DET_TSNL, 1, 2), substr(d.MV_CPTE_DET_TSNL, 3, 13), 0, d.MV_CPTE_DET_IDarticulo, "
                 "TRIM(d.MV_CPTE_DET_DESCRIPCION), d.MV_CPTE_DET_CANTIDAD, d.MV_CPTE_DET_UNIDAD, d.MV_CPTE_DET_IMP_INT, "
                 "d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_PRECIO_S_IVA, d.MV_CPTE_DET_TOTAL "
                 "FROM st.MV_CPTE_DETALLE d WHERE substr(d.MV_CPTE_DET_TSNL, 1, 2) IN ('NP','RM','PR')"));
    exec(db, QStringLiteral(
                 "INSERT INTO V_MV_CpteTareas (TC, IdComprobante, IdComplemento, IdTarea, Descripcion, Horas, valorhora, "
                 "valorHora_S_Iva, Total, EXENTO, descripcionadicional) "
                 "SELECT 'OT', substr(d.MV_CPTE_DET_TSNL, 3, 13), 0, d.MV_CPTE_DET_IDTAREA, TRIM(d.MV_CPTE_DET_DESCRIPCION), "
                 "d.MV_CPTE_DET_HORAS, d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_PRECIO, d.MV_CPTE_DET_TOTAL, 0, "
                 "d.MV_CPTE_DET_DESCR_ADIC_tarea FROM st.MV_CPTE_DETALLE d WHERE substr(d.MV_CPTE_DET_TSNL, 1, 2) = 'OT'"));
    exec(db, QStringLiteral("COMMIT"));
    const double seconds = t.nsecsElapsed() / 1e9;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("baseline"));
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int documents = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    QTextStream out(stdout);
    const QString erp = dir.filePath(QStringLiteral("erp.db"));
    const QString store = dir.filePath(QStringLiteral("kvpalmsync.mdb"));
    qputenv("KVCONTROL_HOME", dir.path().toLocal8Bit());
    erp::Options o;
    o.clients = 2000;
    o.documents = 0;
    erp::createDemoErp(erp::Target::sqlite(erp), o);
    createStore(store);
    fillStore(store, erp, documents);
    QFile::copy(erp, dir.filePath(QStringLiteral("erp-baseline.db")));
    QFile::copy(store, dir.filePath(QStringLiteral("store-baseline.mdb")));
    out << "documents: " << documents << " of 5 lines each" << Qt::endl;

    QuietOperator person;
    setOperator(&person);
    configTableName() = QStringLiteral("ta_configuracion");
    ErpDb().gMotor = Engine::Sqlite;
    ErpDb().gDBName = erp;
    ErpDb().OpenServerADODB(false, 3, QString(), false);
    LocalDb().gProveedor = DB_Dll::pJETOLEDB40();
    LocalDb().gDBName = store;
    LocalDb().OpenLocalADODB();

    QElapsedTimer t;
    t.start();
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    SyncRunState run(trap);
    const RunOutcome outcome = importDocuments(run);
    const double importSeconds = t.nsecsElapsed() / 1e9;
    resetProgramDatabases();
    setOperator(nullptr);
    if (outcome != RunOutcome::Imported || run.imported != documents) {
        out << "the import did not complete: " << run.imported << " imported" << Qt::endl;
        return 1;
    }
    out << "import:   " << QString::number(importSeconds, 'f', 2) << " s, "
        << QString::number(documents / importSeconds, 'f', 0) << " documents/s" << Qt::endl;
    const double base = baseline(dir.filePath(QStringLiteral("store-baseline.mdb")), dir.filePath(QStringLiteral("erp-baseline.db")));
    out << "baseline: " << QString::number(base, 'f', 2) << " s (set-based INSERT ... SELECT with joins)" << Qt::endl;
    out << "ratio=" << QString::number(importSeconds / base, 'f', 1) << Qt::endl;
    return 0;
}
