// Text with quotes, comment markers and statement separators in every input that reaches a
// statement: the operator's device codes and lookup searches (kept in the settings file), the
// handheld's document keys and client codes, the ERP's own codes. Each stays a value: the
// statements select exactly what that value names, and nothing else runs.
#include "console/ExportFilters.h"
#include "console/SendCommand.h"
#include "ErpFixture.h"
#include "lookup/LookupSession.h"
#include "settings/DeviceSettings.h"
#include "sync/DocumentImport.h"
#include "sync/SyncRun.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

// Texts that would end a literal, comment out the rest or add a statement if pasted as they are.
const QStringList kHostile{
    QStringLiteral("1') OR 1=1 --"),
    QStringLiteral("x' OR '1'='1"),
    QStringLiteral("'; DELETE FROM VT_CLIENTES; --"),
    QStringLiteral("*/ OR 1=1 /*"),
    QStringLiteral("1'/*"),
    QStringLiteral("\\'; DROP TABLE VT_CLIENTES; --"),
    QStringLiteral("'') OR (''='"),
    QStringLiteral("top 1 x') OR 1=1 --"),
};

// A client and a price list whose codes are such texts, as an ERP may hold them.
const QString kOddClient = QStringLiteral("Q1'--;/**/");
const QString kOddClientName = QStringLiteral("O'Hara -- /*x*/; Ltda");
const QString kOddList = QStringLiteral("'--;");

QString sqlQuoted(QString s) {
    return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

class HostileText : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(GetParam());
        if (GetParam() == Engine::PostgreSql && !f->available()) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
        article =
            f->erpRows(QStringLiteral("SELECT IDARTICULO FROM V_MA_ARTICULOS ORDER BY IDARTICULO")).first();
        f->erpExec(QStringLiteral("INSERT INTO VT_CLIENTES (CODIGO, CTACODIGO, RAZON_SOCIAL, IdLista) VALUES "
                                  "(%1, %1, %2, %3)")
                       .arg(sqlQuoted(kOddClient), sqlQuoted(kOddClientName), sqlQuoted(kOddList)));
        f->erpExec(
            QStringLiteral(
                "INSERT INTO TA_LISTAS (IdLista, Nombre, ConIVA, TipoLista) VALUES (%1, 'Rara', 0, 'V')")
                .arg(sqlQuoted(kOddList)));
        f->erpExec(QStringLiteral("INSERT INTO MA_PRECIOS (IdLista, IdArticulo, Precio1) VALUES (%1, %2, 10)")
                       .arg(sqlQuoted(kOddList), sqlQuoted(article.trimmed())));
        clients = erpClients();
    }
    QStringList erpClients() {
        return f->erpRows(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES ORDER BY CODIGO"));
    }
    // Sends device 1 with one code field set and returns the store's clients.
    QStringList sendWith(const QString& key, const QString& value) {
        settings::writeDevice(1, key, value);
        const SendResult r = EnviarDatosPalm(1, false);
        EXPECT_TRUE(r.exported) << r.failedSteps.join(QLatin1Char(',')).toStdString();
        return f->storeRows(QStringLiteral("SELECT IDCLIENTE FROM MA_CLIENTES ORDER BY IDCLIENTE"));
    }

    std::unique_ptr<test::ErpFixture> f;
    QString article;
    QStringList clients;
};

TEST_P(HostileText, DeviceCodesSelectNoClientTheyDoNotName) {
    for (const QString& key : {settings::Reparto, settings::Cliente}) {
        for (const QString& text : kHostile) {
            settings::writeDevice(1, settings::Reparto, QString());
            settings::writeDevice(1, settings::Cliente, QString());
            EXPECT_EQ(sendWith(key, text), QStringList()) << key.toStdString() << " = " << text.toStdString();
            EXPECT_EQ(erpClients(), clients);
        }
    }
    EXPECT_TRUE(f->person.person.shownOf(QStringLiteral("error")).isEmpty());
}

TEST_P(HostileText, ACodeHoldingSuchTextSelectsExactlyItsClientAndItsPriceList) {
    EXPECT_EQ(sendWith(settings::Cliente, kOddClient), QStringList{kOddClient});
    const ExportFilters filters = buildExportFilters(1);
    EXPECT_EQ(filters.priceList, QStringLiteral(" WHERE LTRIM(IDLISTA) IN ('''--;')"));
    const QStringList lists = f->storeRows(QStringLiteral("SELECT DISTINCT IDLISTA FROM MA_PRECIOS"));
    EXPECT_EQ(lists, QStringList{kOddList});
}

TEST_P(HostileText, HandheldKeysAndClientCodesAreImportedAsWrittenAndOnlyOnce) {
    const QString key = QStringLiteral("NP0001'; --/*A");
    f->storeExec(
        QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_IDCLIENTE, "
                       "MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL) VALUES (?, '2026-12-01', ?, 10, 12.1)"),
        {key, kOddClient});
    f->storeExec(
        QStringLiteral(
            "INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, MV_CPTE_DET_IDarticulo, "
            "MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD) "
            "VALUES (?, 1, ?, ?, 1, 'UN')"),
        {key, article.trimmed(), kHostile.first()});
    for (int run = 0; run < 2; ++run) {
        Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
        SyncRunState state(trap);
        ASSERT_EQ(importDocuments(state), RunOutcome::Imported);
        EXPECT_EQ(state.imported, run == 0 ? 1 : 0);
        EXPECT_EQ(state.skipped, run == 0 ? 0 : 1) << "the key with quotes is found again";
    }
    EXPECT_EQ(f->erpRows(QStringLiteral("SELECT IdComprobante, Cuenta, Nombre FROM V_MV_CPTE")),
              QStringList{key.mid(2) + QLatin1Char('|') + kOddClient + QLatin1Char('|') + kOddClientName});
    EXPECT_EQ(f->erpRows(QStringLiteral("SELECT Descripcion FROM V_MV_CpteInsumos")),
              QStringList{kHostile.first()});
    EXPECT_EQ(erpClients(), clients);
    EXPECT_TRUE(f->person.person.shownOf(QStringLiteral("error")).isEmpty());
}

TEST_P(HostileText, LookupSearchesFindTheTextAndNothingElse) {
    LookupSession s;
    s.SQL = QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL, CODIGO FROM VT_CLIENTES ORDER BY RAZON_SOCIAL");
    s.CampoDevuelto = QStringLiteral("CODIGO");
    for (const bool like : {false, true}) {
        s.CfgUsaConsultaLIKE = like;
        for (const QString& text : kHostile + QStringList{kOddClientName, kOddClientName.mid(3)}) {
            s.load();
            ASSERT_GT(s.rowCount(), 1);
            s.setSearchText(0, text);
            s.nuevaBusquedaEnCaja(0);
            const bool names = kOddClientName.startsWith(text) || (like && kOddClientName.contains(text));
            EXPECT_EQ(s.rowCount(), names ? 1 : 0)
                << text.toStdString() << (like ? " anywhere" : " at the start");
            if (names && s.rowCount() == 1) {
                EXPECT_EQ(s.cell(0, 1), kOddClient);
            }
            s.nuevaBusqueda();
        }
    }
    EXPECT_EQ(erpClients(), clients);
    EXPECT_TRUE(f->person.person.shownOf(QStringLiteral("error")).isEmpty())
        << f->person.person.messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileText, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

} // namespace
