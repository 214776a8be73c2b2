// Documents a handheld (or a store from elsewhere) may hold that the import cannot take as they
// are: each one ends at the error treatment or in the summary, the ERP never holds part of a
// document, and the store keeps every document for the next run.
#include "data/DB_Dll.h"
#include "ErpFixture.h"
#include "sync/DocumentImport.h"
#include "sync/SyncRun.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

const QString kGood = QStringLiteral("NP000100000001A");

class BadDocuments : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(GetParam());
        if (GetParam() == Engine::PostgreSql && !f->available()) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
        client = f->erpRows(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES ORDER BY CODIGO")).first();
        article =
            f->erpRows(QStringLiteral("SELECT IDARTICULO FROM V_MA_ARTICULOS ORDER BY IDARTICULO")).first();
        before = erpDocuments();
    }
    // A document with one supply line; `date` is stored as given.
    void addDocument(const QVariant& key, const QVariant& date = QStringLiteral("2026-12-01"),
                     const QString& description = QStringLiteral("Linea")) {
        f->storeExec(
            QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_IDCLIENTE, "
                           "MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL) VALUES (?, ?, ?, 10, 12.1)"),
            {key, date, client});
        f->storeExec(QStringLiteral("INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, "
                                    "MV_CPTE_DET_IDarticulo, MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_CANTIDAD, "
                                    "MV_CPTE_DET_UNIDAD) VALUES (?, 1, ?, ?, 2, 'UN')"),
                     {key, article.trimmed(), description});
    }
    RunOutcome import() {
        trap = std::make_unique<Trap>(Trap::prompting(QStringLiteral("ActualizaDatos_KVControl")));
        state = std::make_unique<SyncRunState>(*trap);
        return importDocuments(*state);
    }
    // Every document row and line row of the ERP, as text.
    QStringList erpDocuments() {
        return f->erpRows(QStringLiteral("SELECT TC, IdComprobante, Fecha FROM V_MV_CPTE ORDER BY ID")) +
               f->erpRows(
                   QStringLiteral("SELECT TC, IdComprobante, Descripcion FROM V_MV_CpteInsumos ORDER BY ID"));
    }
    QStringList storeDocuments() {
        return f->storeRows(QStringLiteral("SELECT * FROM MV_CPTE ORDER BY MV_CPTE_TSNL")) +
               f->storeRows(QStringLiteral("SELECT * FROM MV_CPTE_DETALLE ORDER BY MV_CPTE_DET_TSNL"));
    }
    QStringList errorPrompts() const {
        QStringList texts;
        for (const auto& s : f->person.person.shownOf(QStringLiteral("error")))
            texts << s.text;
        return texts;
    }
    QStringList summaries() const {
        QStringList texts;
        for (const auto& s : f->person.person.shownOf(QStringLiteral("message")))
            if (s.text.startsWith(QStringLiteral("Se actualizaron "))) texts << s.text;
        return texts;
    }
    // The store as the program finds it when it opens it (a file from another version, or one
    // damaged while the program was not running).
    void reopenStore() {
        LocalDb().gCnn.close();
        LocalDb().OpenLocalADODB();
        ASSERT_TRUE(LocalDb().gCnn.state());
    }
    // The import stopped at the error treatment, the first prompt holding `why`, and wrote nothing.
    void expectStoppedSaying(const QString& why) {
        EXPECT_EQ(import(), RunOutcome::Left);
        ASSERT_FALSE(errorPrompts().isEmpty());
        EXPECT_TRUE(errorPrompts().first().contains(why, Qt::CaseInsensitive))
            << errorPrompts().first().toStdString();
        EXPECT_TRUE(summaries().isEmpty());
        EXPECT_EQ(erpDocuments(), before);
    }

    // A value the ERP's columns cannot hold: PostgreSQL refuses it with its reason (shown in the
    // prompt) and nothing of the document is written; SQLite keeps any text, so the document
    // comes in whole, as the handheld wrote it.
    void expectRefusedOrKept(const QString& why, const QString& keptQuery, const QString& kept) {
        const RunOutcome outcome = import();
        if (GetParam() == Engine::PostgreSql) {
            EXPECT_EQ(outcome, RunOutcome::Left);
            ASSERT_FALSE(errorPrompts().isEmpty());
            EXPECT_TRUE(errorPrompts().first().contains(why)) << errorPrompts().first().toStdString();
            EXPECT_EQ(erpDocuments(), before);
        } else {
            EXPECT_EQ(outcome, RunOutcome::Imported);
            EXPECT_EQ(f->erpRows(keptQuery), QStringList{kept});
        }
    }

    std::unique_ptr<test::ErpFixture> f;
    std::unique_ptr<Trap> trap;
    std::unique_ptr<SyncRunState> state;
    QString client, article;
    QStringList before;
};

TEST_P(BadDocuments, StoreWithoutTheDocumentTableStopsAtTheErrorTreatment) {
    f->storeExec(QStringLiteral("DROP TABLE MV_CPTE"));
    reopenStore();
    expectStoppedSaying(QStringLiteral("MV_CPTE"));
}

TEST_P(BadDocuments, StoreWithoutAColumnTheImportReadsWritesNothingOfTheDocument) {
    addDocument(kGood);
    // A store made by another version: the document table without the client column.
    f->storeExec(QStringLiteral("CREATE TABLE MV_CPTE_OLD AS SELECT MV_CPTE_TSNL, MV_CPTE_FECHA, "
                                "MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL FROM MV_CPTE"));
    f->storeExec(QStringLiteral("DROP TABLE MV_CPTE"));
    f->storeExec(QStringLiteral("ALTER TABLE MV_CPTE_OLD RENAME TO MV_CPTE"));
    reopenStore();
    const QStringList stored = storeDocuments();
    expectStoppedSaying(QStringLiteral("MV_CPTE_IDCLIENTE"));
    EXPECT_EQ(storeDocuments(), stored);
}

TEST_P(BadDocuments, NullKeyStopsTheRunAfterTheWholeDocumentsBeforeIt) {
    addDocument(QStringLiteral("NP000100000000A")); // documents are read in the order the handheld wrote them
    addDocument(QVariant());
    const QStringList stored = storeDocuments();
    EXPECT_EQ(import(), RunOutcome::Left);
    ASSERT_EQ(errorPrompts().size(), 1);
    EXPECT_TRUE(errorPrompts().first().contains(QStringLiteral("(94)")))
        << errorPrompts().first().toStdString();
    EXPECT_TRUE(errorPrompts().first().contains(QStringLiteral("Null")))
        << errorPrompts().first().toStdString();
    EXPECT_EQ(erpDocuments().size(), before.size() + 2) << "the first document and its line, nothing else";
    for (const char* table : {"V_MV_CPTE", "V_MV_CpteInsumos"})
        EXPECT_EQ(f->erpRows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE IdComprobante = '000100000000A'")
                                 .arg(QLatin1String(table))),
                  QStringList{QStringLiteral("1")});
    EXPECT_EQ(storeDocuments(), stored);
}

TEST_P(BadDocuments, ShortKeyIsImportedOnceUnderWhatItHolds) {
    addDocument(QStringLiteral("NP0001"));
    ASSERT_EQ(import(), RunOutcome::Imported);
    EXPECT_EQ(
        f->erpRows(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante = '0001'")),
        QStringList{QStringLiteral("1")});
    ASSERT_EQ(import(), RunOutcome::Imported);
    EXPECT_TRUE(
        summaries().last().contains(QStringLiteral("Se actualizaron 0 comprobantes y se omitieron 1 ")))
        << summaries().last().toStdString();
}

// A date the ERP cannot take: refused there with the engine's reason, nothing of the document in.
TEST_P(BadDocuments, DateThatIsNotADateIsRefused) {
    // Bound as a date on every engine: a text that is no date stops the document, never lands
    // as text or as another day.
    addDocument(kGood, QStringLiteral("mañana 31/02"));
    expectStoppedSaying(QStringLiteral("mañana 31/02"));
}

// A store from elsewhere without the store's length rules: a line longer than the ERP column.
TEST_P(BadDocuments, ValueLongerThanTheErpColumnIsRefusedOrKeptWhole) {
    f->storeExec(QStringLiteral("CREATE TABLE D AS SELECT * FROM MV_CPTE_DETALLE"));
    f->storeExec(QStringLiteral("DROP TABLE MV_CPTE_DETALLE"));
    f->storeExec(QStringLiteral("ALTER TABLE D RENAME TO MV_CPTE_DETALLE"));
    reopenStore();
    const QString longText = QString(300, QLatin1Char('x'));
    addDocument(kGood, QStringLiteral("2026-12-01"), longText);
    expectRefusedOrKept(
        QStringLiteral("too long"),
        QStringLiteral("SELECT Descripcion FROM V_MV_CpteInsumos WHERE IdComprobante = '000100000001A'"),
        longText);
}

INSTANTIATE_TEST_SUITE_P(Engines, BadDocuments, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

} // namespace
