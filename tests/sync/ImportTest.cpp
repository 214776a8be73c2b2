#include "ErpFixture.h"
#include "app/Clock.h"
#include "sync/DocumentImport.h"
#include "sync/SyncRun.h"

#include <gtest/gtest.h>
#include <QProcess>

using namespace kv;

namespace {

// Documents as a handheld leaves them in the local sync store.
struct Doc {
    QString key;
    QString client;
    double net = 100;
};

struct Line {
    QString key;
    int item;
    QVariant task;     // work orders
    QVariant article;  // other documents
    QString unit = QStringLiteral("UN");
    QString description = QStringLiteral("  Linea  ");
    QString additional = QStringLiteral("  detalle adicional  ");
};

class Import : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(GetParam());
        if (GetParam() == Engine::PostgreSql && !f->available()) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
        client = f->erpRows(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES ORDER BY CODIGO")).first();
        task = f->erpRows(QStringLiteral("SELECT IdTarea FROM V_TA_Tareas ORDER BY IdTarea")).first().trimmed();
        article = f->erpRows(QStringLiteral("SELECT IDARTICULO FROM V_MA_ARTICULOS ORDER BY IDARTICULO")).first().trimmed();
    }
    void add(const Doc& d) {
        f->storeExec(QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, MV_CPTE_TIPOREG, "
                                    "MV_CPTE_IDCOMPROBANTE, MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, MV_CPTE_DTOGLOBAL, "
                                    "MV_CPTE_IDCLIENTE, MV_CPTE_ITEMS, MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL, "
                                    "MV_CPTE_IMPORTE_IVA, MV_CPTE_NETO_GRAV, MV_CPTE_NETO_NO_GRAV) "
                                    "VALUES (?, '2026-12-01', '2026-12-03', ?, ?, 2, 3, 0, ?, 1, ?, ?, ?, ?, 0)"),
                     {d.key, d.key.left(2), d.key.mid(2), d.client.isNull() ? QVariant() : QVariant(d.client), d.net,
                      d.net * 1.21, d.net * 0.21, d.net});
    }
    void add(const Line& l) {
        f->storeExec(QStringLiteral("INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDTAREA, "
                                    "MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_HORAS, MV_CPTE_DET_PRECIO, "
                                    "MV_CPTE_DET_PRECIO_S_IVA, MV_CPTE_DET_TOTAL, MV_CPTE_DET_DESCR_ADIC_tarea, "
                                    "MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, MV_CPTE_DET_FECHA_ENTREGA, "
                                    "MV_CPTE_DET_IDarticulo, MV_CPTE_DET_dto, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD, "
                                    "MV_CPTE_DET_IMP_IVA, MV_CPTE_DET_IMP_INT) "
                                    "VALUES (?, ?, ?, ?, 2, 12.1, 10, 24.2, ?, ?, '2026-12-01', '2026-12-03', ?, 0, 3, ?, 2.1, 0)"),
                     {l.key, l.item, l.task, l.description, l.additional, client, l.article, l.unit});
    }
    // A standard set: an order with two supply lines and a work order with one task line.
    void addStandard() {
        add(Doc{QStringLiteral("NP000100000001A"), client});
        add(Line{QStringLiteral("NP000100000001A"), 1, QVariant(), article});
        add(Line{QStringLiteral("NP000100000001A"), 2, QVariant(), article, QStringLiteral(" KG ")});
        add(Doc{QStringLiteral("OT000100000002A"), client});
        add(Line{QStringLiteral("OT000100000002A"), 1, task, QVariant()});
    }
    RunOutcome run(bool planilla, SyncRunState** state = nullptr) {
        trap = std::make_unique<Trap>(Trap::prompting(QStringLiteral("ActualizaDatos_KVControl")));
        runState = std::make_unique<SyncRunState>(*trap);
        runState->planillaMode = planilla;
        if (state) *state = runState.get();
        return importDocuments(*runState);
    }
    QStringList summaries() const {
        QStringList r;
        for (const auto& s : f->person.person.shownOf(QStringLiteral("message")))
            if (s.title == QLatin1String("Aviso al operador!!!")) r << s.text;
        return r;
    }
    QStringList erp(const QString& sql) { return f->erpRows(sql); }

    std::unique_ptr<test::ErpFixture> f;
    std::unique_ptr<Trap> trap;
    std::unique_ptr<SyncRunState> runState;
    QString client, task, article;
};

TEST_P(Import, OrdinaryDocumentsWithTheirLines) {
    addStandard();
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_EQ(summaries(), QStringList{QStringLiteral("Se actualizaron 2 comprobantes y se omitieron 0 por ya existir en "
                                                      "la base de datos\rSE HA GENERADO LA PLANILLA DE CONTROL Nº 000000000001X")});
    EXPECT_EQ(f->person.person.shownOf(QStringLiteral("message")).first().style, 32);
    EXPECT_EQ(erp(QStringLiteral("SELECT TRIM(TC), IdComprobante, IdComplemento, Cuenta FROM V_MV_CPTE WHERE IdComprobante "
                                 "LIKE '0001%' ORDER BY IdComprobante")),
              (QStringList{QStringLiteral("NP|000100000001A|0|") + client, QStringLiteral("OT|000100000002A|0|") + client}));
    // Price class and supplies only for orders, delivery notes and quotes.
    EXPECT_EQ(erp(QStringLiteral("SELECT ClasePrecio, IMPORTEINSUMOS, Importe_S_IVA FROM V_MV_CPTE WHERE IdComprobante = "
                                 "'000100000001A'")),
              QStringList{QStringLiteral("3|100|100")});
    EXPECT_EQ(erp(QStringLiteral("SELECT ClasePrecio, IMPORTEINSUMOS FROM V_MV_CPTE WHERE IdComprobante = '000100000002A'")),
              QStringList{QStringLiteral("<null>|<null>")});
    // Supply lines: the article fitted to 25, the unit to 4 (so "KG" becomes "KG  ").
    EXPECT_EQ(erp(QStringLiteral("SELECT IdArticulo, IdUnidad, Descripcion, IdComplemento FROM V_MV_CpteInsumos WHERE "
                                 "IdComprobante = '000100000001A' ORDER BY IdUnidad DESC")),
              (QStringList{article.leftJustified(25) + QStringLiteral("|UN  |Linea|0"),
                           article.leftJustified(25) + QStringLiteral("|KG  |Linea|0")}));
    // Task lines: the description trimmed, the additional description as stored, one price twice.
    EXPECT_EQ(erp(QStringLiteral("SELECT IdTarea, Descripcion, descripcionadicional, valorhora, valorHora_S_Iva FROM "
                                 "V_MV_CpteTareas WHERE IdComprobante = '000100000002A'")),
              QStringList{task.leftJustified(4) + QStringLiteral("|Linea|  detalle adicional  |12.1|12.1")});
    EXPECT_TRUE(erp(QStringLiteral("SELECT * FROM GM_V_MV_PLANILLA_CAB")).isEmpty()) << "no control-sheet row in this mode";
    EXPECT_FALSE(f->person.person.statusLog().filter(QStringLiteral("Actualizando comprobantes")).isEmpty());
}

TEST_P(Import, ControlSheetModeWritesSheetRowsAndKeepsTaskLines) {
    addStandard();
    Clock::fix(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    ASSERT_EQ(run(true), RunOutcome::Imported);
    Clock::fix(QDateTime());
    EXPECT_EQ(erp(QStringLiteral("SELECT id_planilla, TRIM(TC), IdComprobante, ClasePrecio FROM GM_V_MV_PLANILLA_CAB "
                                 "ORDER BY IdComprobante")),
              (QStringList{QStringLiteral("000000000001X|NP|000100000001A|2"),
                           QStringLiteral("000000000001X|OT|000100000002A|2")}));
    // Sheet lines pass the unit trimmed only (a fixed-width column pads it on PostgreSQL); the
    // article is still fitted to 25.
    const QString padding = GetParam() == Engine::PostgreSql ? QStringLiteral("  ") : QString();
    EXPECT_EQ(erp(QStringLiteral("SELECT IdArticulo, IdUnidad, Item FROM GM_V_MV_PLANILLA_DETALLE ORDER BY Item")),
              (QStringList{article.leftJustified(25) + QStringLiteral("|UN") + padding + QStringLiteral("|1"),
                           article.leftJustified(25) + QStringLiteral("|KG") + padding + QStringLiteral("|2")}));
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteTareas WHERE IdComprobante = '000100000002A'")),
              QStringList{QStringLiteral("1")});
    EXPECT_TRUE(erp(QStringLiteral("SELECT * FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")).isEmpty());
}

TEST_P(Import, SecondRunImportsNothingAndDrawsTheNextSheet) {
    for (const bool planilla : {false, true}) {
        SCOPED_TRACE(planilla ? "control sheet" : "ordinary");
        f->person.person.clear();
        addStandard();
        ASSERT_EQ(run(planilla), RunOutcome::Imported);
        ASSERT_EQ(run(planilla), RunOutcome::Imported);
        const QStringList s = summaries();
        ASSERT_EQ(s.size(), 2);
        EXPECT_TRUE(s[1].startsWith(QStringLiteral("Se actualizaron 0 comprobantes y se omitieron 2 por ya existir")));
        f->storeExec(QStringLiteral("DELETE FROM MV_CPTE_DETALLE"));
        f->storeExec(QStringLiteral("DELETE FROM MV_CPTE"));
    }
    // The ordinary runs draw a number but write no sheet row; the control-sheet runs share one.
    EXPECT_EQ(erp(QStringLiteral("SELECT DISTINCT id_planilla FROM GM_V_MV_PLANILLA_CAB")),
              QStringList{QStringLiteral("000000000001X")});
}

TEST_P(Import, EmptyStoreStillGivesTheSummary) {
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_EQ(summaries(), QStringList{QStringLiteral("Se actualizaron 0 comprobantes y se omitieron 0 por ya existir en "
                                                      "la base de datos\rSE HA GENERADO LA PLANILLA DE CONTROL Nº 000000000001X")});
}

TEST_P(Import, TypeCodesSelectTheirLineRoutine) {
    add(Doc{QStringLiteral("ot000100000003A"), client}); // small letters: still task lines
    add(Line{QStringLiteral("ot000100000003A"), 1, task, QVariant()});
    add(Doc{QStringLiteral("FC000100000004A"), client}); // unknown code: header only, counted
    add(Line{QStringLiteral("FC000100000004A"), 1, QVariant(), article});
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_TRUE(summaries().first().startsWith(QStringLiteral("Se actualizaron 2 comprobantes")));
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteTareas WHERE IdComprobante = '000100000003A'")),
              QStringList{QStringLiteral("1")});
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante = '000100000004A'")),
              QStringList{QStringLiteral("0")});
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CPTE WHERE IdComprobante = '000100000004A'")),
              QStringList{QStringLiteral("1")});
}

TEST_P(Import, ApostropheInAKeyImportsCorrectly) {
    add(Doc{QStringLiteral("NP0001000'0005A"), client});
    add(Line{QStringLiteral("NP0001000'0005A"), 1, QVariant(), article});
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante = '0001000''0005A'")),
              QStringList{QStringLiteral("1")});
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_TRUE(summaries().last().contains(QStringLiteral("se omitieron 1 por ya existir")));
}

TEST_P(Import, MissingClientGoesToTheErrorTreatmentAndLeavesNothingHalfWritten) {
    add(Doc{QStringLiteral("NP000100000006A"), client});
    add(Doc{QStringLiteral("NP000100000007A"), QStringLiteral("NO-EXISTE")});
    add(Line{QStringLiteral("NP000100000007A"), 1, QVariant(), article});
    f->person.person.answer(mb::Abort);
    EXPECT_EQ(run(false), RunOutcome::Left);
    ASSERT_FALSE(f->person.person.shownOf(QStringLiteral("error")).isEmpty());
    EXPECT_EQ(f->person.person.shownOf(QStringLiteral("error")).first().title,
              QStringLiteral("ActualizaDatos_KVControl - Aviso al operador!!!"));
    EXPECT_TRUE(summaries().isEmpty()) << "a run left through the error treatment shows no summary";
    // The first document stays; the one being written when the run was left is rolled back whole.
    EXPECT_EQ(erp(QStringLiteral("SELECT IdComprobante FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")),
              QStringList{QStringLiteral("000100000006A")});
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante = '000100000007A'")),
              QStringList{QStringLiteral("0")});
    // Next time, with the client mended, the rest comes in whole.
    f->storeExec(QStringLiteral("UPDATE MV_CPTE SET MV_CPTE_IDCLIENTE = ? WHERE MV_CPTE_TSNL = 'NP000100000007A'"), {client});
    EXPECT_EQ(run(false), RunOutcome::Imported);
    EXPECT_EQ(erp(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante = '000100000007A'")),
              QStringList{QStringLiteral("1")});
}

TEST_P(Import, NullTaskCodeStopsAtTheErrorTreatmentAndIgnoreGoesOn) {
    add(Doc{QStringLiteral("OT000100000008A"), client});
    add(Line{QStringLiteral("OT000100000008A"), 1, QVariant(), QVariant()});
    f->person.person.answer(mb::Ignore); // the IdTarea assignment: go on without it
    EXPECT_EQ(run(false), RunOutcome::Imported);
    ASSERT_EQ(f->person.person.shownOf(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(f->person.person.shownOf(QStringLiteral("error")).first().text.contains(QStringLiteral("(94)")));
}

TEST_P(Import, RetryRunsTheFailingStatementAgain) {
    add(Doc{QStringLiteral("NP000100000009A"), QStringLiteral("TARDE")});
    f->person.person.answer(mb::Retry);
    f->person.person.answer(mb::Abort);
    EXPECT_EQ(run(false), RunOutcome::Left);
    EXPECT_EQ(f->person.person.shownOf(QStringLiteral("error")).size(), 2) << "the same failing read asked twice: retried once, then left";
}

TEST_P(Import, OddKeysAndNullValuesComeInOnceAsEmptyTexts) {
    f->erpExec(QStringLiteral("UPDATE VT_CLIENTES SET Localidad = NULL, CPostal = NULL WHERE CTACODIGO = '%1'").arg(client));
    add(Doc{QStringLiteral("N"), client});               // no number at all
    add(Doc{QStringLiteral(" P000100000011A"), client}); // a type code with a leading blank
    add(Doc{QStringLiteral("NP000100000010A"), client});
    add(Line{QStringLiteral("NP000100000010A"), 1, QVariant(), article, QStringLiteral("UN"), QString()});
    f->storeExec(QStringLiteral("UPDATE MV_CPTE SET MV_CPTE_TIPOREG = NULL WHERE MV_CPTE_TSNL = 'NP000100000010A'"));
    for (const bool planilla : {false, true}) {
        SCOPED_TRACE(planilla ? "control sheet" : "ordinary");
        f->person.person.clear();
        for (int i = 0; i < 3; ++i) ASSERT_EQ(run(planilla), RunOutcome::Imported);
        const QStringList s = summaries();
        ASSERT_EQ(s.size(), 3);
        EXPECT_TRUE(s[0].startsWith(QStringLiteral("Se actualizaron 3 comprobantes y se omitieron 0 "))) << s[0].toStdString();
        EXPECT_TRUE(s[2].startsWith(QStringLiteral("Se actualizaron 0 comprobantes y se omitieron 3 "))) << s[2].toStdString();
    }
    EXPECT_EQ(erp(QStringLiteral("SELECT TRIM(TC), IdComprobante, Localidad, CODIGOPOSTAL FROM V_MV_CPTE WHERE Cuenta = '%1' "
                                 "ORDER BY IdComprobante").arg(client)),
              (QStringList{QStringLiteral("N|||"), QStringLiteral("NP|000100000010A||"), QStringLiteral("P|000100000011A||")}));
    EXPECT_EQ(erp(QStringLiteral("SELECT Descripcion FROM V_MV_CpteInsumos WHERE IdComprobante = '000100000010A'")),
              QStringList{QString()});
    EXPECT_EQ(erp(QStringLiteral("SELECT TRIM(TC), IdComprobante FROM GM_V_MV_PLANILLA_CAB ORDER BY IdComprobante")),
              (QStringList{QStringLiteral("N|"), QStringLiteral("|000100000010A"), QStringLiteral("P|000100000011A")}));
}

TEST_P(Import, UnreadableKeysAreRefusedByNameAndTheRestComeIn) {
    const QString withNul = QStringLiteral("NP0001000") + QChar(0) + QStringLiteral("0012A");
    add(Doc{withNul, client});
    add(Line{withNul, 1, QVariant(), article});
    // "NP0001", a byte that is not UTF-8, "0000013A".
    for (const char* table : {"MV_CPTE (MV_CPTE_TSNL, MV_CPTE_IDCLIENTE", "MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_IDarticulo"})
        f->storeExec(QStringLiteral("INSERT INTO %1) VALUES (CAST(X'4E5030303031FF3030303030313341' AS TEXT), ?)")
                         .arg(QLatin1String(table)),
                     {QString::fromLatin1(table).startsWith(QLatin1String("MV_CPTE (")) ? client : article});
    add(Doc{QStringLiteral("NP000100000014A"), client});
    add(Line{QStringLiteral("NP000100000014A"), 1, QVariant(), article});
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_TRUE(summaries().value(0).startsWith(QStringLiteral("Se actualizaron 1 comprobantes y se omitieron 0 ")));
    QStringList refused;
    for (const auto& m : f->person.person.shownOf(QStringLiteral("message")))
        if (m.text.contains(QStringLiteral("no se importó"))) refused << m.text;
    ASSERT_EQ(refused.size(), 2);
    EXPECT_TRUE(refused[0].contains(QStringLiteral("'NP0001000\\00012A'"))) << refused[0].toStdString();
    EXPECT_TRUE(refused[1].contains(QStringLiteral("NP0001")));
    EXPECT_EQ(erp(QStringLiteral("SELECT d.IdComprobante, COUNT(i.IdComprobante) FROM V_MV_CPTE d LEFT JOIN V_MV_CpteInsumos i "
                                 "ON i.IdComprobante = d.IdComprobante WHERE d.IdComprobante LIKE '0001%' "
                                 "GROUP BY d.IdComprobante")),
              QStringList{QStringLiteral("000100000014A|1")});
}

TEST_P(Import, AHeaderTheErpRefusesIsNeitherWrittenNorCounted) {
    f->erpExec(GetParam() == Engine::PostgreSql
                   ? QStringLiteral("ALTER TABLE v_mv_cpte ADD CONSTRAINT refused CHECK (idcomprobante <> '000100000015A')")
                   : QStringLiteral("CREATE TRIGGER refused BEFORE INSERT ON V_MV_CPTE WHEN NEW.IdComprobante = "
                                    "'000100000015A' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    add(Doc{QStringLiteral("NP000100000015A"), client});
    add(Line{QStringLiteral("NP000100000015A"), 1, QVariant(), article});
    add(Doc{QStringLiteral("NP000100000016A"), client});
    add(Line{QStringLiteral("NP000100000016A"), 1, QVariant(), article});
    f->person.person.answer(mb::Ignore);
    ASSERT_EQ(run(false), RunOutcome::Imported);
    EXPECT_EQ(f->person.person.shownOf(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(summaries().value(0).startsWith(QStringLiteral("Se actualizaron 1 comprobantes y se omitieron 0 ")));
    EXPECT_EQ(erp(QStringLiteral("SELECT IdComprobante FROM V_MV_CpteInsumos WHERE IdComprobante LIKE '0001%'")),
              QStringList{QStringLiteral("000100000016A")});
}

// Another program writing the ERP file holds its write lock for a moment: the import waits for
// it instead of stopping with "database is locked".
TEST(ImportSqlite, WaitsForAnotherWriterOfTheErpFile) {
    test::ErpFixture f(Engine::Sqlite);
    ASSERT_TRUE(f.available());
    const QString client = f.erpRows(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES ORDER BY CODIGO")).first();
    f.storeExec(QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_IDCLIENTE) VALUES ('FC000100000017A', ?)"), {client});
    QProcess other;
    other.start(QStringLiteral("sqlite3"), {f.erpPath()});
    ASSERT_TRUE(other.waitForStarted());
    other.write("BEGIN IMMEDIATE;\nCREATE TABLE other_program (x);\nSELECT 'held';\n.shell sleep 1\nCOMMIT;\n");
    QByteArray seen;
    ASSERT_TRUE(test::waitForOutput(other, seen, "held"));
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    SyncRunState run(trap);
    EXPECT_EQ(importDocuments(run), RunOutcome::Imported);
    EXPECT_TRUE(f.person.person.shownOf(QStringLiteral("error")).isEmpty());
    EXPECT_EQ(run.imported, 1);
    other.closeWriteChannel();
    other.waitForFinished();
}

INSTANTIATE_TEST_SUITE_P(Engines, Import, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

struct NumberCase {
    const char* stored;
    const char* next;
};

class SheetNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SheetNumbers, FollowTheStoredMaximumByPosition) {
    EXPECT_EQ(planillaAfter(QString::fromLatin1(GetParam().stored)).toStdString(), GetParam().next);
}

INSTANTIATE_TEST_SUITE_P(Maximums, SheetNumbers,
                         ::testing::Values(NumberCase{"", "000000000001X"}, NumberCase{"   ", "000000000001X"},
                                           NumberCase{"000000000041X", "000000000042X"},
                                           NumberCase{"12345", "000000000006X"}, NumberCase{"0000ABC", "000000000001X"},
                                           NumberCase{"000099999999X", "0000100000000X"}));

struct KeyCase {
    const char* key;
    const char* tc;
    const char* id;
};

class Keys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Keys, SplitByPositionWithoutPadding) {
    const DocumentKey k = splitKey(QString::fromLatin1(GetParam().key));
    EXPECT_EQ(k.tc.toStdString(), GetParam().tc);
    EXPECT_EQ(k.idComprobante().toStdString(), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(Keys, Keys,
                         ::testing::Values(KeyCase{"NP000100000001A", "NP", "000100000001A"},
                                           KeyCase{"NP0001", "NP", "0001"}, KeyCase{"N", "N", ""},
                                           KeyCase{"", "", ""}));

} // namespace
