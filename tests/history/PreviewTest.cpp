#include "console/ExportFilters.h"
#include "console/SendPreview.h"
#include "ErpFixture.h"
#include "export/ExportRunner.h"
#include "export/ExportTasks.h"
#include "settings/DeviceSettings.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

// A device's filters, written with placeholders for codes of the demo ERP: V0, V1 the first
// vendors, C0, C1 the first clients.
struct PreviewCase {
    const char* name;
    const char* reparto;
    const char* cliente;
    bool fewerClients; // the filter leaves clients out
};

const PreviewCase kCases[] = {
    {"NoFilters", "", "", false},
    {"OneVendor", "V0", "", true},
    {"TwoVendors", "V0,V1", "", true},
    {"TwoClients", "", "C0,C1", true},
    {"VendorsWinOverClients", "V1", "C0", true},
    {"NobodyMatches", "ZZ9", "", true},
};

class Preview : public ::testing::TestWithParam<std::tuple<Engine, PreviewCase>> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(std::get<0>(GetParam()),
                                               test::ErpFixture::Sizes{25, 10, 4, 0});
        if (std::get<0>(GetParam()) == Engine::PostgreSql && !f->available())
            GTEST_SKIP() << "no PostgreSQL test server";
        ASSERT_TRUE(f->available());
    }
    QString codes(const char* pattern) {
        const QStringList vendors =
            f->erpRows(QStringLiteral("SELECT TRIM(IdVendedor) FROM V_TA_VENDEDORES ORDER BY 1"));
        const QStringList clients =
            f->erpRows(QStringLiteral("SELECT TRIM(CODIGO) FROM VT_CLIENTES ORDER BY 1"));
        QString s = QString::fromUtf8(pattern);
        for (int i = 0; i < 2; ++i) {
            s.replace(QStringLiteral("V%1").arg(i), vendors.value(i));
            s.replace(QStringLiteral("C%1").arg(i), clients.value(i));
        }
        return s;
    }
    qint64 stored(const QString& table) {
        return f->storeRows(QStringLiteral("SELECT COUNT(*) FROM ") + table).first().toLongLong();
    }
    std::unique_ptr<test::ErpFixture> f;
};

TEST_P(Preview, CountsWhatTheExportThenWritesAndWritesNothingItself) {
    const PreviewCase& c = std::get<1>(GetParam());
    settings::writeDevice(2, settings::Reparto, codes(c.reparto));
    settings::writeDevice(2, settings::Cliente, codes(c.cliente));

    const SendPreview preview = previewDevice(2);
    ASSERT_EQ(preview.tables.size(), 12);
    // The demo's rows all fit the store: the preview's checks flag nothing the send accepts.
    EXPECT_EQ(preview.refusals, QStringList());
    for (const TableCount& t : preview.tables)
        EXPECT_EQ(stored(t.table), 0) << "the preview wrote into " << t.table.toStdString();

    const ExportFilters filters = buildExportFilters(2);
    EXPECT_EQ(preview.filters.client, filters.client);
    EXPECT_EQ(preview.filters.priceList, filters.priceList);
    const QList<StepOutcome> outcomes = EjecutarExportacion(f->storePath, filters.client, filters.priceList);
    ASSERT_TRUE(failedSteps(outcomes).isEmpty())
        << failedSteps(outcomes).join(QLatin1Char(',')).toStdString();

    QStringList order;
    for (const TableCount& t : preview.tables) {
        SCOPED_TRACE(t.table.toStdString());
        order << t.table;
        EXPECT_EQ(t.rows, stored(t.table));
    }
    QStringList destinations;
    for (const ExportStep& s : exportSteps())
        if (!s.destination.isEmpty()) destinations << s.destination;
    EXPECT_EQ(order, destinations);
    EXPECT_EQ(preview.priceLists,
              f->storeRows(QStringLiteral("SELECT DISTINCT TRIM(IDLISTA) FROM MA_PRECIOS ORDER BY 1")));

    // The comparison means something: the demo has prices, and a filter narrows the clients.
    EXPECT_GT(stored(QStringLiteral("MA_PRECIOS")), 0);
    const qint64 allClients =
        f->erpRows(QStringLiteral("SELECT COUNT(*) FROM VT_CLIENTES")).first().toLongLong();
    if (c.fewerClients)
        EXPECT_LT(stored(QStringLiteral("MA_CLIENTES")), allClients);
    else
        EXPECT_EQ(stored(QStringLiteral("MA_CLIENTES")), allClients);
}

INSTANTIATE_TEST_SUITE_P(Engines, Preview,
                         ::testing::Combine(::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                                            ::testing::ValuesIn(kCases)),
                         [](const auto& info) {
                             return test::engineTestName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

// Rows the ERP gives twice under one store key (a view that joins, an index gone): the preview
// names each as the send then refuses it, in the store's own words.
struct Repeated {
    const char* name;
    const char* sql; // makes the repetition
    const char* step;
};

class RepeatedKeys : public ::testing::TestWithParam<std::tuple<Engine, Repeated>> {};

TEST_P(RepeatedKeys, ThePreviewNamesWhatTheSendRefuses) {
    test::ErpFixture f(std::get<0>(GetParam()), test::ErpFixture::Sizes{10, 5, 2, 0});
    if (!f.available()) GTEST_SKIP() << "no PostgreSQL test server";
    for (const QString& sql : QString::fromLatin1(std::get<1>(GetParam()).sql).split(QStringLiteral("; "))) f.erpExec(sql);
    const SendPreview preview = previewDevice(1);
    const ExportFilters filters = buildExportFilters(1);
    const QList<StepOutcome> outcomes = EjecutarExportacion(f.storePath, filters.client, filters.priceList);
    const QString step = QLatin1String(std::get<1>(GetParam()).step);
    ASSERT_EQ(failedSteps(outcomes), QStringList{step});
    QString refused;
    for (int i = 0; i < outcomes.size(); ++i)
        if (exportSteps().at(i).description == step) refused = outcomes.at(i).error;
    EXPECT_TRUE(refused.contains(QStringLiteral("UNIQUE constraint failed"))) << refused.toStdString();
    EXPECT_EQ(preview.refusals, QStringList{refused});
}

INSTANTIATE_TEST_SUITE_P(
    Engines, RepeatedKeys,
    ::testing::Combine(::testing::Values(Engine::Sqlite, Engine::PostgreSql),
                       ::testing::Values(Repeated{"category", "DROP INDEX IX_V_TA_Categoria_1; INSERT INTO V_TA_Categoria "
                                                              "SELECT * FROM V_TA_Categoria WHERE IdCategoria = 'MIN'",
                                                  "TA_CATEGORIAS"},
                                         Repeated{"price", "DROP INDEX IX_MA_PRECIOS_1; INSERT INTO MA_PRECIOS SELECT * FROM "
                                                           "MA_PRECIOS WHERE IdArticulo = (SELECT MIN(IdArticulo) FROM MA_PRECIOS)",
                                                  "MA_PRECIOS"})),
    [](const auto& info) { return test::engineTestName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name; });

} // namespace
