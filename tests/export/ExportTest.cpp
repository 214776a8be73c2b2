#include "CaseName.h"
#include "ErpFixture.h"
#include "TableRows.h"
#include "console/ExportFilters.h"
#include "export/ExportRunner.h"
#include "progress/StepProgress.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace kv;

namespace {

const QStringList kLines{"PRE_EXPORTACION", "TA_BANCOS",   "TA_CATEGORIAS", "TA_RUBROS",   "TA_TAREAS",
                         "TA_TIPOS",        "TA_UNIDAD",   "TA_USUARIOS",   "TA_VENDEDOR", "MA_ARTICULOS",
                         "MA_CLIENTES",     "MA_PRECIOS",  "TA_ZONAS"};

// What each copy step must leave in the store: the ERP rows it reads, column for column in the
// order of the store's columns.
struct Copy {
    const char* line;  // the step's line in the progress window
    const char* table; // the store table it fills
    const char* erp;
    const char* store;
};

const Copy kCopies[] = {
    {"TA_BANCOS", "TA_BANCOS", "SELECT IdBanco, Descripcion FROM V_TA_Bancos", "SELECT IDBANCO, DESCRIPCION FROM TA_BANCOS"},
    {"TA_CATEGORIAS", "TA_CATEGORIAS", "SELECT IdCategoria, Descripcion FROM V_TA_Categoria",
     "SELECT IDCATEGORIA, DESCRIPCION FROM TA_CATEGORIAS"},
    {"TA_RUBROS", "TA_RUBROS", "SELECT IdRubro, Descripcion FROM V_TA_Rubros", "SELECT IDRUBRO, DESCRIPCION FROM TA_RUBROS"},
    {"TA_TAREAS", "TA_TAREAS",
     "SELECT IdTarea, Descripcion, HorasEstimadas, ValorHora, ModificaValor, Exento, IDTecnico, PideDatosAdic, TasaIVA, "
     "DescripcionAdicional FROM V_TA_Tareas",
     "SELECT IDTAREA, DESCRIPCION, HORASESTIMADAS, VALORHORA, MODIFICAVALOR, EXENTO, IDTECNICO, PIDEDATOSADIC, TASAIVA, "
     "DESCRIPCIONADICIONAL FROM TA_TAREAS"},
    {"TA_TIPOS", "TA_TIPOS", "SELECT IdTipo, Descripcion FROM V_TA_TipoArticulo", "SELECT IDTIPO, DESCRIPCION FROM TA_TIPOS"},
    {"TA_UNIDAD", "TA_UNIDAD", "SELECT IdUnidad, Descripcion FROM V_TA_Unidad", "SELECT IDUNIDAD, DESCRIPCION FROM TA_UNIDAD"},
    // The whole users table, whatever the system; the name lands in USUARIO.
    {"TA_USUARIOS", "TA_USUARIOS", "SELECT SISTEMA, PASSWORD, NOMBRE FROM TA_USUARIOS",
     "SELECT SISTEMA, PASSWORD, USUARIO FROM TA_USUARIOS"},
    {"TA_VENDEDOR", "TA_VENDEDORES",
     "SELECT IdVendedor, Nombre, Domicilio, Localidad, IdProvincia, CodigoPostal, IdTipoDocumento, NumeroDocumento, "
     "IdCondIva, Telefono, E_Mail, http, Porc_Venta, Porc_Cobranza, Imagen, IDDeposito FROM V_TA_VENDEDORES",
     "SELECT IDVENDEDOR, NOMBRE, DOMICILIO, LOCALIDAD, IDPROVINCIA, CODIGOPOSTAL, IDTIPODOCUMENTO, NUMERODOCUMENTO, "
     "IDCONDIVA, TELEFONO, E_MAIL, HTTP, PORC_VENTA, PORC_COBRANZA, IMAGEN, IDDEPOSITO FROM TA_VENDEDORES"},
    {"MA_ARTICULOS", "MA_ARTICULOS",
     "SELECT IDARTICULO, DESCRIPCION, COSTO, CODIGOBARRA, PRECIO1, PRECIO2, PRECIO3, PRECIO4, IDRUBRO, IDUNIDAD, IDTIPO, "
     "TasaIVA FROM V_MA_ARTICULOS",
     "SELECT IDARTICULO, DESCRIPCION, COSTO, CODIGODEBARRAS, IMPORTE, IMPORTE2, IMPORTE3, IMPORTE4, RUBRO, UNIDAD, TIPO, "
     "ALICIVA FROM MA_ARTICULOS"},
    {"MA_CLIENTES", "MA_CLIENTES",
     "SELECT CODIGO, RAZON_SOCIAL, CALLE, LOCALIDAD, TELEFONO, IVA, NUMERO_DOCUMENTO, ZONA, IDCategoria, Clase, "
     "IdVendedor, IdLista, Descuento, CONTACTO FROM VT_CLIENTES",
     "SELECT IDCLIENTE, DESCRIPCION, DOMICILIO, LOCALIDAD, TELEFONO, IVA, CUIT, ZONA, CATEGORIA, CLASE_PRECIO, "
     "IDVENDEDOR, IDLISTA, DESCUENTO, CONTACTO FROM MA_CLIENTES"},
    // Only sales lists ('V') go to the handhelds.
    {"MA_PRECIOS", "MA_PRECIOS",
     "SELECT IdLista, Nombre, IdArticulo, ConIVA, Precio1, Precio2, Precio3, Precio4, Precio5, IdMoneda, TipoLista, "
     "FCOSTO, FCLASE1, FCLASE2, FCLASE3, FCLASE4, FCLASE5 FROM V_MA_Precios WHERE TipoLista = 'V'",
     "SELECT IDLISTA, NOMBRE, IDARTICULO, CONIVA, PRECIO1, PRECIO2, PRECIO3, PRECIO4, PRECIO5, IDMONEDA, TIPOLISTA, "
     "FCOSTO, FCLASE1, FCLASE2, FCLASE3, FCLASE4, FCLASE5 FROM MA_PRECIOS"},
    // Every client's zone once, whatever the device; a zone's description is its own code.
    {"TA_ZONAS", "TA_ZONAS", "SELECT DISTINCT ZONA, ZONA FROM VT_CLIENTES WHERE ZONA IS NOT NULL",
     "SELECT IDZONA, DESCRIPCION FROM TA_ZONAS"},
};

// A demo ERP on one engine, an empty store, and ways to read both.
class ExportBase {
protected:
    bool start(Engine engine, test::ErpFixture::Sizes sizes = {}) {
        db.reset();
        f.reset();
        f = std::make_unique<test::ErpFixture>(engine, sizes);
        return f->available();
    }
    void stop() {
        db.reset();
        f.reset();
    }
    // The send's own path: the export on a connection of its own made like the ERP object's.
    QList<StepOutcome> exportWith(const ExportFilters& filters = {}) {
        return EjecutarExportacion(f->storePath, filters.client, filters.priceList);
    }
    QStringList erp(const QString& sql) { return test::canonicalRows(checks().erp(), sql); }
    QStringList store(const QString& sql) { return test::canonicalRows(checks().file(f->storePath), sql); }
    qint64 storeCount(const QString& table) {
        return store(QStringLiteral("SELECT COUNT(*) FROM ") + table).value(0).toLongLong();
    }
    test::Databases& checks() {
        if (!db) db = std::make_unique<test::Databases>();
        return *db;
    }
    StepProgress& shown() {
        StepProgress* p = f->person.person.stepProgress();
        EXPECT_NE(p, nullptr) << "the step list was never shown";
        return p ? *p : exportProgress();
    }
    QStringList states() {
        QStringList s;
        for (const auto& l : shown().lines()) s << l.stateText;
        return s;
    }
    static QStringList finishedExcept(const QStringList& failed) {
        QStringList s;
        for (const QString& l : kLines) s << (failed.contains(l) ? QStringLiteral("Error") : QStringLiteral("Finalizado"));
        return s;
    }
    // Every copy step's table but `skipped` holds exactly its source's rows (plus `extra` rows).
    void expectCopied(const QStringList& skipped, const QString& extraTable = {}, const QStringList& extra = {}) {
        for (const Copy& c : kCopies) {
            if (skipped.contains(QString::fromUtf8(c.line))) continue;
            SCOPED_TRACE(c.line);
            QStringList expected = erp(QString::fromUtf8(c.erp));
            EXPECT_FALSE(expected.isEmpty()) << "the demo ERP should have rows here";
            if (extraTable == QLatin1String(c.table)) {
                expected << extra;
                std::sort(expected.begin(), expected.end());
            }
            EXPECT_EQ(store(QString::fromUtf8(c.store)), expected);
        }
    }

    std::unique_ptr<test::ErpFixture> f;
    std::unique_ptr<test::Databases> db;
};

class Export : public ExportBase, public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override { open({}); }
    void TearDown() override { stop(); }
    void open(test::ErpFixture::Sizes sizes) {
        if (!start(GetParam(), sizes) && GetParam() == Engine::PostgreSql) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
    }
};

TEST_P(Export, EveryCopyStepRefillsItsTableFromItsSource) {
    // Old rows: the delete step empties the tables first.
    f->storeExec(QStringLiteral("INSERT INTO MA_CLIENTES (IDCLIENTE) VALUES ('OLD')"));
    f->storeExec(QStringLiteral("INSERT INTO TA_ZONAS (IDZONA) VALUES ('OLD')"));
    const QList<StepOutcome> outcomes = exportWith();
    ASSERT_EQ(outcomes.size(), 13);
    EXPECT_EQ(failedSteps(outcomes), QStringList());
    QStringList pasos;
    for (const auto& l : shown().lines()) pasos << l.paso;
    EXPECT_EQ(pasos, kLines) << "step 9 is shown as TA_VENDEDOR although it fills TA_VENDEDORES";
    EXPECT_EQ(states(), finishedExcept({}));
    EXPECT_EQ(shown().progressLabel(), QStringLiteral(" 100%"));
    expectCopied({});
    for (const Copy& c : kCopies) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(outcomes.at(kLines.indexOf(QString::fromUtf8(c.line))).rows, storeCount(QString::fromUtf8(c.table)));
    }
}

// The store holds each value in the type of its own column, not the ERP's.
struct Conversion {
    const char* name;
    const char* query; // distinct typeof() of the copied values, or another property
    const char* expected;
};

TEST_P(Export, ValuesTakeTheTypesOfTheStoreColumns) {
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    const Conversion cases[] = {
        {"currency_to_double",
         "SELECT typeof(COSTO) FROM MA_ARTICULOS WHERE COSTO IS NOT NULL UNION "
         "SELECT typeof(IMPORTE) FROM MA_ARTICULOS WHERE IMPORTE IS NOT NULL UNION "
         "SELECT typeof(PRECIO1) FROM MA_PRECIOS UNION SELECT typeof(PRECIO5) FROM MA_PRECIOS UNION "
         "SELECT typeof(VALORHORA) FROM TA_TAREAS WHERE VALORHORA IS NOT NULL",
         "real"},
        {"iva_text_to_integer", "SELECT DISTINCT typeof(IVA) FROM MA_CLIENTES WHERE IVA IS NOT NULL", "integer"},
        {"clase_to_clase_precio", "SELECT DISTINCT typeof(CLASE_PRECIO) FROM MA_CLIENTES", "integer"},
        {"flags_to_booleans", "SELECT typeof(CONIVA) FROM MA_PRECIOS UNION SELECT typeof(EXENTO) FROM TA_TAREAS", "integer"},
        {"codes_stay_texts", "SELECT typeof(IDCLIENTE) FROM MA_CLIENTES UNION SELECT typeof(IDLISTA) FROM MA_PRECIOS", "text"},
        {"only_sales_lists", "SELECT DISTINCT TIPOLISTA FROM MA_PRECIOS", "V"},
        {"zone_is_its_own_description", "SELECT COUNT(*) FROM TA_ZONAS WHERE IDZONA IS NOT DESCRIPCION", "0"},
    };
    for (const Conversion& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store(QString::fromUtf8(c.query)), QStringList{QString::fromUtf8(c.expected)});
    }
    // The ERP holds the other kinds of list too: choosing them out was the export's doing.
    EXPECT_EQ(erp(QStringLiteral("SELECT DISTINCT TipoLista FROM V_MA_Precios")), (QStringList{"C", "E", "V"}));
}

// A table the delete step cannot empty keeps its rows and is not copied into (its copy would
// only fail on every old key); the delete step names the cause, the other tables are refilled.
TEST_P(Export, ATableThatCannotBeEmptiedIsNotCopiedAndTheOthersAre) {
    struct Case {
        QStringList storeChanges;
        const char* table; // the store table left as it was
        const char* line;  // its copy step
        const char* cause; // in the delete step's message
        QStringList kept;  // what the table still holds
    };
    const Case cases[] = {
        {{"INSERT INTO TA_BANCOS (IDBANCO, DESCRIPCION) VALUES ('OLD', 'Banco viejo')",
          "CREATE TRIGGER keep_banks BEFORE DELETE ON TA_BANCOS BEGIN SELECT RAISE(ABORT, 'the banks are kept'); END"},
         "TA_BANCOS", "TA_BANCOS", "TA_BANCOS: the banks are kept", {"OLD|Banco viejo"}},
        {{"DROP TABLE MA_PRECIOS"}, "MA_PRECIOS", "MA_PRECIOS", "MA_PRECIOS: no such table: MA_PRECIOS", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        open({});
        f->storeExec(QStringLiteral("INSERT INTO MA_CLIENTES (IDCLIENTE) VALUES ('OLD')"));
        for (const QString& change : c.storeChanges) f->storeExec(change);
        const QList<StepOutcome> outcomes = exportWith();
        EXPECT_EQ(failedSteps(outcomes), (QStringList{"PRE_EXPORTACION", c.line}));
        EXPECT_EQ(outcomes.first().error, QString::fromUtf8(c.cause));
        EXPECT_EQ(outcomes.at(kLines.indexOf(c.line)).error, QStringLiteral("not copied: the table could not be emptied"));
        EXPECT_EQ(states(), finishedExcept({"PRE_EXPORTACION", c.line}));
        if (!c.kept.isEmpty()) {
            EXPECT_EQ(store(QStringLiteral("SELECT * FROM ") + c.table), c.kept);
        }
        expectCopied({c.line}); // MA_CLIENTES was emptied before its copy
    }
}

// A binary picture reaches the text column as its hexadecimal digits; one that is still too
// long refuses its vendor's row, named.
TEST_P(Export, ABinaryPictureIsCopiedAsHexadecimalDigits) {
    const auto setPicture = [&](const QString& hex, const QString& where) {
        f->erpExec((GetParam() == Engine::PostgreSql ? QStringLiteral("UPDATE V_TA_VENDEDORES SET Imagen = decode('%1', 'hex')")
                                                     : QStringLiteral("UPDATE V_TA_VENDEDORES SET Imagen = X'%1'"))
                       .arg(hex) +
                   where);
    };
    setPicture(QStringLiteral("0a1bff"), QString());
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    EXPECT_EQ(store(QStringLiteral("SELECT DISTINCT IMAGEN FROM TA_VENDEDORES")), QStringList{"0A1BFF"});

    setPicture(QStringLiteral("ab").repeated(26), QStringLiteral(" WHERE IdVendedor = '2'")); // 52 digits
    const QList<StepOutcome> outcomes = exportWith();
    EXPECT_EQ(failedSteps(outcomes), QStringList{"TA_VENDEDOR"});
    EXPECT_EQ(outcomes.at(kLines.indexOf("TA_VENDEDOR")).error,
              QStringLiteral("TA_VENDEDORES: vendor 2, IMAGEN 'ABABABABABABABABABAB…' is longer than 50"));
}

TEST_P(Export, RowsCopiedAreReportedEveryThousandRowsWhileTheStepRuns) {
    open({.clients = 30, .articles = 400}); // 2400 price rows, 1600 of them in sales lists
    ASSERT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MA_Precios WHERE TipoLista = 'V'")), QStringList{"1600"});
    QStringList seen;
    f->person.person.onProcessEvents([&] {
        for (const auto& l : exportProgress().lines())
            if (l.rows >= 0 && l.state == 2) seen << QStringLiteral("%1 %2").arg(l.paso).arg(l.rows);
    });
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    seen.removeDuplicates();
    EXPECT_EQ(seen, QStringList{"MA_PRECIOS 1000"});
    EXPECT_EQ(states(), finishedExcept({}));
}

TEST_P(Export, ASecondExportRebuildsTheStepListAndReplacesTheRows) {
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    const qint64 prices = storeCount(QStringLiteral("MA_PRECIOS"));
    QSignalSpy cleared(&shown(), &StepProgress::cleared);
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(states(), finishedExcept({}));
    EXPECT_EQ(storeCount(QStringLiteral("MA_PRECIOS")), prices);
}

TEST_P(Export, AMissingStoreFailsEveryStepAndIsNotCreated) {
    const QString missing = f->home.file(QStringLiteral("elsewhere.mdb"));
    const QList<StepOutcome> outcomes = EjecutarExportacion(missing, QString(), QString());
    EXPECT_EQ(failedSteps(outcomes), kLines);
    EXPECT_TRUE(outcomes.last().error.contains(missing)) << outcomes.last().error.toStdString();
    EXPECT_FALSE(QFile::exists(missing));
}

// The copy builds each table's key index after its rows: the file must be the one a fresh store
// filled row by row through its indexes would be, schema text and rows alike, and sound.
TEST_P(Export, TheStoreMatchesOneFilledRowByRowThroughItsIndexes) {
    ASSERT_EQ(failedSteps(exportWith()), QStringList());
    const QString byRow = f->home.file(QStringLiteral("by-row.mdb"));
    createStore(byRow);
    {
        test::Databases rowwise;
        QSqlQuery q(rowwise.file(byRow));
        ASSERT_TRUE(q.exec(QStringLiteral("ATTACH DATABASE '%1' AS exported").arg(f->storePath)));
        for (const Copy& c : kCopies)
            ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO main.%1 SELECT * FROM exported.%1 ORDER BY rowid").arg(c.table)))
                << q.lastError().text().toStdString();
    }
    const QString schema = QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master");
    EXPECT_EQ(store(schema), test::canonicalRows(checks().file(byRow), schema));
    EXPECT_EQ(store(QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
    for (const Copy& c : kCopies) {
        const QString rows = QStringLiteral("SELECT * FROM %1").arg(c.table);
        EXPECT_EQ(store(rows), test::canonicalRows(checks().file(byRow), rows)) << c.table;
    }
}

// Two source rows with one key: the step fails whole and names the row the key index refused.
TEST_P(Export, TwoRowsWithOneKeyFailTheStepNamingTheSecond) {
    f->erpExec(QStringLiteral("DROP INDEX IX_V_TA_Bancos_1"));
    f->erpExec(QStringLiteral("INSERT INTO V_TA_Bancos (IdBanco, Descripcion) SELECT IdBanco, 'Copia' FROM V_TA_Bancos "
                              "WHERE IdBanco = (SELECT MIN(IdBanco) FROM V_TA_Bancos)"));
    const QList<StepOutcome> outcomes = exportWith();
    EXPECT_EQ(failedSteps(outcomes), QStringList{"TA_BANCOS"});
    const QString why = outcomes.at(kLines.indexOf(QStringLiteral("TA_BANCOS"))).error;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TA_BANCOS: bank [^\\n]+, UNIQUE constraint failed: TA_BANCOS.IDBANCO$"))
                    .match(why)
                    .hasMatch())
        << why.toStdString();
    EXPECT_EQ(storeCount(QStringLiteral("TA_BANCOS")), 0);
    expectCopied({QStringLiteral("TA_BANCOS")});
}

INSTANTIATE_TEST_SUITE_P(Engines, Export, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

// Cases of a table, each on both engines.
template <typename Case>
class EngineCase : public ExportBase, public ::testing::TestWithParam<std::tuple<Engine, Case>> {
protected:
    void SetUp() override {
        if (!start(engine()) && engine() == Engine::PostgreSql) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
    }
    void TearDown() override { stop(); }
    Engine engine() const { return std::get<0>(this->GetParam()); }
    const Case& param() const { return std::get<1>(this->GetParam()); }
};

struct EngineCaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<std::tuple<Engine, Case>>& info) const {
        return test::engineTestName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    }
};

// A row the store refuses fails its step; nothing of that step stays (its rows commit
// together), the table stays as the delete step left it, and the other steps finish.
struct RefusalCase {
    const char* name;
    const char* erpChange;   // on the ERP, before the export
    const char* storeChange; // on the store, before the export
    QStringList failed;
    QStringList why;         // the lines of the first failed step's message, each in full or its start
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class Refused : public EngineCase<RefusalCase> {};

TEST_P(Refused, StepFailsWholeAndTheOthersFinish) {
    const RefusalCase& c = param();
    if (*c.erpChange) f->erpExec(QString::fromUtf8(c.erpChange));
    if (*c.storeChange) f->storeExec(QString::fromUtf8(c.storeChange));
    QStringList tables;
    for (const Copy& copy : kCopies)
        if (c.failed.contains(QString::fromUtf8(copy.line))) tables << QString::fromUtf8(copy.table);
    for (const QString& t : tables)
        f->storeExec(t == QLatin1String("MA_PRECIOS") ? QStringLiteral("INSERT INTO MA_PRECIOS (CONIVA) VALUES (0)")
                                                      : QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(t));

    const QList<StepOutcome> outcomes = exportWith();
    EXPECT_EQ(failedSteps(outcomes), c.failed);
    EXPECT_EQ(states(), finishedExcept(c.failed));
    for (const QString& t : tables) EXPECT_EQ(storeCount(t), 0) << t.toStdString();
    const StepOutcome& first = outcomes.at(kLines.indexOf(c.failed.first()));
    const QStringList lines = first.error.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), c.why.size()) << first.error.toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i) EXPECT_TRUE(lines[i].startsWith(c.why[i])) << lines[i].toStdString();
    expectCopied(c.failed);
    // The shown line carries the reason.
    for (const auto& l : shown().lines()) {
        if (l.paso == c.failed.first()) {
            EXPECT_EQ(l.detail, first.error);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Export, Refused,
    ::testing::Combine(
        ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
        ::testing::Values(
            // A zone code of 7 characters does not fit the 4 of the clients' and the zones' tables.
            RefusalCase{"zone_longer_than_four", "UPDATE VT_CLIENTES SET ZONA = 'NORTE12' WHERE CODIGO IN ('000007', '000011')",
                        "", {"MA_CLIENTES", "TA_ZONAS"},
                        {"MA_CLIENTES: client 000007, ZONA 'NORTE12' is longer than 4",
                         "MA_CLIENTES: client 000011, ZONA 'NORTE12' is longer than 4"}},
            RefusalCase{"iva_not_a_number", "UPDATE VT_CLIENTES SET IVA = 'RI' WHERE CODIGO >= '000029'", "",
                        {"MA_CLIENTES"},
                        {"MA_CLIENTES: client 000029, IVA 'RI' is not a whole number",
                         "MA_CLIENTES: client 000030, IVA 'RI' is not a whole number"}},
            // Every refused row is named, the first twenty of them one a line.
            RefusalCase{"store_refuses_a_later_price_row", "",
                        "CREATE TRIGGER refuse_price BEFORE INSERT ON MA_PRECIOS WHEN "
                        "(SELECT COUNT(*) FROM MA_PRECIOS) >= 50 BEGIN SELECT RAISE(ABORT, 'no more prices'); END",
                        {"MA_PRECIOS"},
                        QStringList(20, QStringLiteral("MA_PRECIOS: price ")) << QStringLiteral("… and ")})),
    EngineCaseName());

// A device's filters (built from its settings and the ERP) give it exactly the clients it
// serves and the price lists those clients use; the other tables are whole.
struct DeviceCase {
    const char* name;
    const char* reparto;
    const char* cliente;
    const char* clientsOf; // the device's clients, as a condition on VT_CLIENTES
};

void PrintTo(const DeviceCase& c, std::ostream* os) {
    *os << c.name;
}

class Filtered : public EngineCase<DeviceCase> {};

TEST_P(Filtered, DeviceGetsItsClientsAndThePriceListsTheyUse) {
    const DeviceCase& c = param();
    // A vendor and a price list whose codes hold an apostrophe.
    f->erpExec(QStringLiteral("INSERT INTO TA_LISTAS (IdLista, Nombre, ConIVA, IdMoneda, TipoLista) VALUES "
                              "('L''1', 'Lista D''Ars', 0, '1', 'V')"));
    f->erpExec(QStringLiteral("INSERT INTO MA_PRECIOS (IdLista, IdArticulo, Precio1) SELECT 'L''1', IDARTICULO, 1.5 "
                              "FROM V_MA_ARTICULOS"));
    f->erpExec(QStringLiteral("INSERT INTO VT_CLIENTES (CODIGO, RAZON_SOCIAL, IDVENDEDOR2, IdLista, Clase) VALUES "
                              "('D''AR', 'D''Ars', 'O''K', 'L''1', 1)"));
    settings::writeDevice(1, settings::Reparto, QString::fromUtf8(c.reparto));
    settings::writeDevice(1, settings::Cliente, QString::fromUtf8(c.cliente));

    ASSERT_EQ(failedSteps(exportWith(buildExportFilters(1))), QStringList());

    const QString clientsOf = QString::fromUtf8(c.clientsOf);
    const QStringList expectedClients = erp(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES WHERE ") + clientsOf);
    ASSERT_FALSE(expectedClients.isEmpty());
    EXPECT_LT(expectedClients.size(), erp(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES")).size());
    EXPECT_EQ(store(QStringLiteral("SELECT IDCLIENTE FROM MA_CLIENTES")), expectedClients);

    const QString lists =
        QStringLiteral("SELECT DISTINCT IdLista FROM VT_CLIENTES WHERE IdLista IS NOT NULL AND (%1)").arg(clientsOf);
    EXPECT_FALSE(erp(lists).isEmpty());
    EXPECT_EQ(store(QStringLiteral("SELECT DISTINCT IDLISTA FROM MA_PRECIOS")), erp(lists));
    EXPECT_EQ(store(QStringLiteral("SELECT IDLISTA, IDARTICULO, PRECIO1 FROM MA_PRECIOS")),
              erp(QStringLiteral("SELECT IdLista, IdArticulo, Precio1 FROM V_MA_Precios WHERE TipoLista = 'V' AND "
                                 "IdLista IN (%1)")
                      .arg(lists)));
    // Zones come from all clients, not only the device's.
    EXPECT_EQ(store(QStringLiteral("SELECT IDZONA FROM TA_ZONAS")),
              erp(QStringLiteral("SELECT DISTINCT ZONA FROM VT_CLIENTES WHERE ZONA IS NOT NULL")));
}

const char* const kVendor2 = "'2' IN (IDVENDEDOR, IDVENDEDOR1, IDVENDEDOR2, IDVENDEDOR3, IDVENDEDOR4, IDVENDEDOR5)";

INSTANTIATE_TEST_SUITE_P(
    Export, Filtered,
    ::testing::Combine(::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                       ::testing::Values(DeviceCase{"vendor", "2", "", kVendor2},
                                         DeviceCase{"vendor_wins_over_clients", "2", "D'AR", kVendor2},
                                         DeviceCase{"clients", "", "000001,000002,000005,000009",
                                                    "CODIGO IN ('000001', '000002', '000005', '000009')"},
                                         DeviceCase{"apostrophes", "O'K", "", "CODIGO = 'D''AR'"})),
    EngineCaseName());

} // namespace
