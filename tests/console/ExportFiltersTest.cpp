#include "CaseName.h"
#include "TestEnv.h"
#include "console/ConsoleCommands.h"
#include "console/ExportFilters.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

// The vendor filter for a quoted list: the same IN list on each of the six vendor columns.
QString vendorFilter(const char* in) {
    const QString list = QString::fromUtf8(in);
    return QStringLiteral(" WHERE LTRIM(IDVENDEDOR) IN (%1) OR LTRIM(IDVENDEDOR1) IN (%1) OR LTRIM(IDVENDEDOR2) IN (%1) "
                          "OR LTRIM(IDVENDEDOR3) IN (%1) OR LTRIM(IDVENDEDOR4) IN (%1) OR LTRIM(IDVENDEDOR5) IN (%1) ")
        .arg(list);
}

struct ClientFilterCase {
    const char* name;
    const char* reparto;
    const char* cliente;
    QString expected;
};

class ClientFilter : public ::testing::TestWithParam<ClientFilterCase> {};

TEST_P(ClientFilter, IsBuiltWithEveryBlankInItsPlace) {
    const ClientFilterCase& c = GetParam();
    EXPECT_EQ(clientFilterFor(QString::fromUtf8(c.reparto), QString::fromUtf8(c.cliente)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ClientFilter,
    ::testing::Values(
        ClientFilterCase{"two_vendors", "3,7", "", vendorFilter("'3','7'")},
        ClientFilterCase{"vendors_win_over_clients", "3,7", "000001,000002", vendorFilter("'3','7'")},
        ClientFilterCase{"single_vendor_six_times", "12", "", vendorFilter("'12'")},
        // The blank after the comma stays inside the quotes: only the column side is trimmed.
        ClientFilterCase{"blank_after_comma_kept", "3, 7", "", vendorFilter("'3',' 7'")},
        ClientFilterCase{"apostrophe_in_vendor_doubled", "O'K,7", "", vendorFilter("'O''K','7'")},
        ClientFilterCase{"clients_only", "", "000001,000002", QStringLiteral(" WHERE CODIGO IN ('000001','000002') ")},
        ClientFilterCase{"apostrophe_in_client_doubled", "", "D'AR", QStringLiteral(" WHERE CODIGO IN ('D''AR') ")},
        ClientFilterCase{"empty_comma_gives_empty_code", "", "1,", QStringLiteral(" WHERE CODIGO IN ('1','') ")},
        ClientFilterCase{"nothing_no_restriction", "", "", QString()}),
    test::CaseName());

struct PriceFilterCase {
    const char* name;
    const char* codes;
    const char* expected;
};

class PriceListFilter : public ::testing::TestWithParam<PriceFilterCase> {};

TEST_P(PriceListFilter, QuotesTheCollectedCodes) {
    EXPECT_EQ(priceListFilterFor(QString::fromUtf8(GetParam().codes)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Filters, PriceListFilter,
    ::testing::Values(PriceFilterCase{"two_lists", "1,4", " WHERE LTRIM(IDLISTA) IN ('1','4')"},
                      PriceFilterCase{"one_list", "12", " WHERE LTRIM(IDLISTA) IN ('12')"},
                      // Every client's list was Null: one empty code, so no price list passes.
                      PriceFilterCase{"all_null", "", " WHERE LTRIM(IDLISTA) IN ('')"},
                      PriceFilterCase{"apostrophe_doubled", "L'1,4", " WHERE LTRIM(IDLISTA) IN ('L''1','4')"}),
    test::CaseName());

TEST(PriceListQuery, AppendsTheClientFilterWithTwoBlanks) {
    EXPECT_EQ(priceListQueryFor(QStringLiteral(" WHERE CODIGO IN ('000001') ")),
              QStringLiteral("SELECT IDLISTA FROM VT_CLIENTES  WHERE CODIGO IN ('000001')  AND NOT IDLISTA IS NULL "
                             "GROUP BY IDLISTA"));
    EXPECT_EQ(priceListQueryFor(clientFilterFor(QStringLiteral("12"), QString())),
              QStringLiteral("SELECT IDLISTA FROM VT_CLIENTES ") + vendorFilter("'12'") +
                  QStringLiteral(" AND NOT IDLISTA IS NULL GROUP BY IDLISTA"));
}

struct KeyCase {
    const char* name;
    const char* key;
    ConsoleCommand command;
};

class ToolbarKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ToolbarKey, IsComparedWithoutLetterCase) {
    EXPECT_EQ(commandForKey(QString::fromUtf8(GetParam().key)), GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolbarKey,
                         ::testing::Values(KeyCase{"send", "HOTSYNC-PALM", ConsoleCommand::Send},
                                           KeyCase{"send_mixed_case", "HotSync-Palm", ConsoleCommand::Send},
                                           KeyCase{"receive_small_letters", "hotsync-pc", ConsoleCommand::Receive},
                                           KeyCase{"properties_small_letters", "propiedades", ConsoleCommand::Properties},
                                           KeyCase{"blank_around_is_another_key", " HOTSYNC-PC", ConsoleCommand::None},
                                           KeyCase{"unknown", "HOTSYNC", ConsoleCommand::None}),
                         test::CaseName());

} // namespace
