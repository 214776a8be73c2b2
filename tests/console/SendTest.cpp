#include "CaseName.h"
#include "ErpFixture.h"
#include "console/ExportFilters.h"
#include "console/SendCommand.h"
#include "settings/DeviceSettings.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

QString vendorFilter(const char* in) {
    return QStringLiteral(" WHERE LTRIM(IDVENDEDOR) IN (%1) OR LTRIM(IDVENDEDOR1) IN (%1) OR LTRIM(IDVENDEDOR2) IN (%1) "
                          "OR LTRIM(IDVENDEDOR3) IN (%1) OR LTRIM(IDVENDEDOR4) IN (%1) OR LTRIM(IDVENDEDOR5) IN (%1) ")
        .arg(QString::fromUtf8(in));
}

// The codes of an IN list in sorted order: PostgreSQL may group the price lists in any order.
QString sortedCodes(QString filter) {
    const int open = int(filter.indexOf(QStringLiteral("('")));
    const int close = int(filter.lastIndexOf(QStringLiteral("')")));
    if (open < 0 || close < open) return filter;
    QStringList codes = filter.mid(open + 2, close - open - 2).split(QStringLiteral("','"));
    codes.sort();
    return filter.left(open + 2) + codes.join(QStringLiteral("','")) + filter.mid(close);
}

struct FilterCase {
    const char* name;
    const char* reparto; // as written in the settings file
    const char* cliente;
    QString client;
    const char* priceList;
};

// A demo ERP on the engine of the parameter, with the program connected to it.
class OnEngine : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(GetParam());
        if (GetParam() == Engine::PostgreSql && !f->available()) GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
    }
    std::unique_ptr<test::ErpFixture> f;
};

class SendFilters : public OnEngine {
protected:
    void SetUp() override {
        OnEngine::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Clients with vendors and price lists of their own, beside the demo's.
        const char* clients[] = {
            "('Z01', 'V7', NULL, NULL, '4')",     "('Z02', NULL, 'V7', NULL, '4')",
            "('Z03', 'V7', NULL, NULL, NULL)",    // a Null list comes back through the first alternative
            "('Z04', 'V8', NULL, NULL, NULL)",    "('Z05', NULL, 'V8', NULL, NULL)",
            "('Z06', NULL, NULL, '  V9', '5')",   // blanks before the vendor code in the ERP
            "('Z07', 'O''K', NULL, NULL, 'L''1')"};
        for (const char* c : clients)
            f->erpExec(QStringLiteral("INSERT INTO VT_CLIENTES (CODIGO, IDVENDEDOR, IDVENDEDOR3, IDVENDEDOR4, IdLista) "
                                      "VALUES ") +
                       QString::fromUtf8(c));
    }
};

TEST_P(SendFilters, AreBuiltFromTheDeviceSettingsAndTheErp) {
    const FilterCase cases[] = {
        {"vendor_null_list_skipped", "V7", "", vendorFilter("'V7'"), " WHERE LTRIM(IDLISTA) IN ('4')"},
        {"settings_value_trimmed", "  V7  ", "", vendorFilter("'V7'"), " WHERE LTRIM(IDLISTA) IN ('4')"},
        {"vendors_win_over_clients", "V7", "Z06", vendorFilter("'V7'"), " WHERE LTRIM(IDLISTA) IN ('4')"},
        {"all_lists_null", "V8", "", vendorFilter("'V8'"), " WHERE LTRIM(IDLISTA) IN ('')"},
        {"column_side_trimmed", "V9", "", vendorFilter("'V9'"), " WHERE LTRIM(IDLISTA) IN ('5')"},
        // " V9" keeps its blank inside the quotes and so matches no vendor.
        {"blank_after_comma_kept", "V7, V9", "", vendorFilter("'V7',' V9'"), " WHERE LTRIM(IDLISTA) IN ('4')"},
        {"apostrophes_doubled", "O'K", "", vendorFilter("'O''K'"), " WHERE LTRIM(IDLISTA) IN ('L''1')"},
        {"clients", "", "Z01,Z07", QStringLiteral(" WHERE CODIGO IN ('Z01','Z07') "),
         " WHERE LTRIM(IDLISTA) IN ('4','L''1')"},
        {"no_client_matches", "V6", "", vendorFilter("'V6'"), ""},
        {"nothing_set", "", "", QString(), ""},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings::writeDevice(3, settings::Reparto, QString::fromUtf8(c.reparto));
        settings::writeDevice(3, settings::Cliente, QString::fromUtf8(c.cliente));
        const ExportFilters filters = buildExportFilters(3);
        EXPECT_EQ(filters.client, c.client);
        EXPECT_EQ(sortedCodes(filters.priceList), QString::fromUtf8(c.priceList));
    }
    // A device without a section of its own: no restriction.
    const ExportFilters none = buildExportFilters(2);
    EXPECT_EQ(none.client, QString());
    EXPECT_EQ(none.priceList, QString());
}

INSTANTIATE_TEST_SUITE_P(Engines, SendFilters, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

// The send command: filters, export, then the sync wait and "Proceso Finalizado!!!" only when
// every step finished.
class Send : public OnEngine {
protected:
    void SetUp() override {
        OnEngine::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        settings::writeDevice(1, settings::Reparto, QStringLiteral("2"));
    }
    test::ScriptedOperator& person() { return f->person.person; }
};

TEST_P(Send, AFailedStepStopsBeforeTheSyncWaitAndSaysWhich) {
    // A zone too long for the store, on one of the device's own clients.
    f->erpExec(QStringLiteral("UPDATE VT_CLIENTES SET ZONA = 'NORTE12' WHERE CODIGO = "
                                 "(SELECT MIN(CODIGO) FROM VT_CLIENTES WHERE IDVENDEDOR = '2')"));
    const SendResult r = EnviarDatosPalm(1);
    EXPECT_FALSE(r.exported);
    EXPECT_FALSE(r.synced);
    EXPECT_EQ(r.failedSteps, (QStringList{"MA_CLIENTES", "TA_ZONAS"}));
    EXPECT_EQ(person().messages(),
              QStringList{QStringLiteral("Aviso al Usuario: No se completaron los pasos de la exportación: MA_CLIENTES, "
                                         "TA_ZONAS.\rEl dispositivo no se sincronizó; corrija el problema y vuelva a "
                                         "enviar.")});
    EXPECT_EQ(person().shownOf(QStringLiteral("message")).value(0).style, 16);
    EXPECT_EQ(person().statusShows(), 0) << "no sync wait";
}

// Without the price lists of the device's clients the handheld would get every price list:
// after the error treatment the send stops, whatever the answer, and the store stays as it was.
TEST_P(Send, AnUnreadablePriceListQueryStopsTheSendWhateverTheAnswer) {
    f->storeExec(QStringLiteral("INSERT INTO MA_PRECIOS (IDLISTA, CONIVA) VALUES ('OLD', 0)"));
    f->erpExec(QStringLiteral("ALTER TABLE VT_CLIENTES RENAME COLUMN IdLista TO OtraLista"));
    for (const int answer : {mb::Ignore, mb::Abort}) {
        SCOPED_TRACE(answer);
        person().answer(answer);
        EXPECT_THROW(EnviarDatosPalm(1), RunTimeError);
        EXPECT_EQ(person().shownOf(QStringLiteral("error")).size(), answer == mb::Ignore ? 1 : 2);
        EXPECT_EQ(person().statusShows(), 0) << "no sync wait";
        EXPECT_EQ(f->storeRows(QStringLiteral("SELECT IDLISTA FROM MA_PRECIOS")), QStringList{"OLD"});
    }
}

TEST_P(Send, FinishedIsShownHoweverTheWaitEnds) {
    person().cancelStatusAt(1); // the operator cancels the wait at once
    const SendResult r = EnviarDatosPalm(1);
    EXPECT_TRUE(r.exported);
    EXPECT_FALSE(r.synced);
    EXPECT_GT(person().statusShows(), 0);
    ASSERT_FALSE(person().messages().isEmpty());
    EXPECT_EQ(person().messages().last(), QStringLiteral("Aviso al Usuario: Proceso Finalizado!!!"));
    EXPECT_EQ(person().shownOf(QStringLiteral("message")).last().style, 64);
    // The store holds the device's clients only.
    EXPECT_EQ(f->storeRows(QStringLiteral("SELECT COUNT(*) FROM MA_CLIENTES")),
              f->erpRows(QStringLiteral("SELECT COUNT(*) FROM VT_CLIENTES WHERE '2' IN (IDVENDEDOR, IDVENDEDOR1, "
                                        "IDVENDEDOR2, IDVENDEDOR3, IDVENDEDOR4, IDVENDEDOR5)")));
}

TEST_P(Send, WithoutTheWaitItStopsAfterTheExport) {
    const SendResult r = EnviarDatosPalm(1, false);
    EXPECT_TRUE(r.exported);
    EXPECT_EQ(person().messages(), QStringList());
    EXPECT_EQ(person().statusShows(), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, Send, ::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                         [](const auto& info) { return test::engineTestName(info.param); });

} // namespace
