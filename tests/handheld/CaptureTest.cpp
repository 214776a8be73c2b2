#include "Capture.h"

#include "app/RunTimeError.h"
#include "CaseName.h"
#include "HandheldTestSupport.h"
#include "store/StoreFile.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <QFile>

using namespace kv;
using handheld::capture;
using handheld::CaptureRequest;

namespace {

const QDate kToday(2024, 5, 17);

double round2(double v) {
    return std::round(v * 100.0) / 100.0;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override { createStore(device); }
    QList<QVariantList> rows(const QString& sql, const QVariantList& binds = {}) {
        return test::query(device, sql, binds);
    }
    QVariant one(const QString& sql, const QVariantList& binds = {}) {
        const auto r = rows(sql, binds);
        return r.isEmpty() ? QVariant() : r.first().first();
    }
    QStringList keys() {
        QStringList out;
        for (const QVariantList& r : rows(QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE ORDER BY rowid")))
            out << r.first().toString();
        return out;
    }

    test::TempHome home;
    const QString device = home.file(QStringLiteral("palm.db"));
};

// Every document as the document and line imports read it: key parts, copies of the key, price
// class, client, dates, lines numbered from 1, and header amounts that add up from the lines.
TEST_F(Capture, DocumentsCarryEverythingTheImportReadsAndTheirTotalsAddUp) {
    test::seedMasters(device);
    const auto captured = capture(device, {3, 2, 2, 3, 5}, kToday);
    ASSERT_EQ(captured.size(), 10);
    EXPECT_EQ(keys(), (QStringList{"NP000100000001A", "NP000100000002A", "NP000100000003A", "RM000100000001A",
                                   "RM000100000002A", "PR000100000001A", "PR000100000002A", "OT000100000001A",
                                   "OT000100000002A", "OT000100000003A"}));

    const auto headers = rows(QStringLiteral(
        "SELECT MV_CPTE_TSNL, MV_CPTE_FECHA, MV_CPTE_FECHA_ENTREGA, MV_CPTE_TIPOREG, MV_CPTE_IDCOMPROBANTE, "
        "MV_CPTE_CLASEPRECIO, MV_CPTE_CLASE_PRECIO, MV_CPTE_DTOGLOBAL, MV_CPTE_IDCLIENTE, MV_CPTE_ITEMS, "
        "MV_CPTE_IMPORTE_S_IVA, MV_CPTE_IMPORTE_TOTAL, MV_CPTE_IMPORTE_IVA, MV_CPTE_NETO_GRAV, "
        "MV_CPTE_NETO_NO_GRAV, "
        "coalesce(c.CLASE_PRECIO, 1) FROM MV_CPTE JOIN MA_CLIENTES c ON c.IDCLIENTE = MV_CPTE_IDCLIENTE "
        "ORDER BY MV_CPTE.rowid"));
    ASSERT_EQ(headers.size(), 10) << "every document names a client of the handheld";
    for (int d = 0; d < headers.size(); ++d) {
        const QVariantList& h = headers.at(d);
        const QString key = h[0].toString();
        const QString type = key.left(2);
        SCOPED_TRACE(key.toStdString());
        EXPECT_EQ(captured.at(d).key, key);
        EXPECT_EQ(captured.at(d).total, h[11].toDouble());
        EXPECT_EQ(h[1].toString(), QStringLiteral("2024-05-17"));
        const QDate delivery = QDate::fromString(h[2].toString(), Qt::ISODate);
        EXPECT_TRUE(type == "RM" ? delivery == kToday : delivery > kToday && delivery <= kToday.addDays(7));
        EXPECT_EQ(h[3].toString(), type);
        EXPECT_EQ(h[4].toString(), key.mid(2));
        EXPECT_EQ(h[5], h[15]);
        EXPECT_EQ(h[6], h[15]);
        EXPECT_EQ(h[7].toDouble(), 0.0);

        const auto lines =
            rows(QStringLiteral("SELECT MV_CPTE_DET_ITEM, MV_CPTE_DET_IDcliente, MV_CPTE_DET_FECHA, "
                                "MV_CPTE_DET_FECHA_ENTREGA, MV_CPTE_DET_TOTAL, MV_CPTE_DET_IMP_IVA, "
                                "MV_CPTE_DET_IMP_INT, MV_CPTE_DET_PRECIO, MV_CPTE_DET_PRECIO_S_IVA, "
                                "MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_dto, MV_CPTE_DET_IDTAREA, "
                                "MV_CPTE_DET_IDarticulo, MV_CPTE_DET_UNIDAD, a.UNIDAD, a.ALICIVA, "
                                "MV_CPTE_DET_HORAS, MV_CPTE_DET_DESCRIPCION, MV_CPTE_DET_DESCR_ADIC_tarea, "
                                "t.DESCRIPCION, t.DESCRIPCIONADICIONAL, t.VALORHORA, t.HORASESTIMADAS, "
                                "CASE WHEN t.EXENTO THEN 0 ELSE t.TASAIVA END "
                                "FROM MV_CPTE_DETALLE "
                                "LEFT JOIN MA_ARTICULOS a ON a.IDARTICULO = MV_CPTE_DET_IDarticulo "
                                "LEFT JOIN TA_TAREAS t ON t.IDTAREA = MV_CPTE_DET_IDTAREA "
                                "WHERE MV_CPTE_DET_TSNL = ? ORDER BY MV_CPTE_DET_ITEM"),
                 {key});
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(h[9].toInt(), lines.size());
        double net = 0, vat = 0, internal = 0, taxed = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const QVariantList& l = lines.at(i);
            EXPECT_EQ(l[0].toInt(), i + 1);
            EXPECT_EQ(l[1], h[8]);
            EXPECT_EQ(l[2], h[1]);
            EXPECT_EQ(l[3], h[2]);
            double lineNet = 0, rate = 0;
            if (type == "OT") {
                EXPECT_FALSE(l[11].isNull());
                EXPECT_EQ(l[17], l[19]) << "the task's description";
                EXPECT_EQ(l[18], l[20]) << "the task's additional description, blanks and Null kept";
                EXPECT_EQ(l[7], l[21]);
                EXPECT_EQ(l[8], l[21]);
                if (!l[22].isNull()) {
                    EXPECT_EQ(l[16], l[22]) << "the task's estimated hours";
                }
                EXPECT_DOUBLE_EQ(l[4].toDouble(), round2(l[16].toDouble() * l[7].toDouble()));
                lineNet = l[4].toDouble();
                rate = l[23].toDouble();
            } else {
                EXPECT_TRUE(l[11].isNull());
                EXPECT_FALSE(l[12].isNull());
                EXPECT_EQ(l[13], l[14]) << "the article's unit";
                lineNet = l[4].toDouble() - l[5].toDouble() - l[6].toDouble();
                rate = l[15].toDouble();
            }
            EXPECT_NEAR(l[5].toDouble(), lineNet * rate / 100, 0.0101);
            net += lineNet;
            vat += l[5].toDouble();
            internal += l[6].toDouble();
            if (rate > 0) taxed += lineNet;
        }
        EXPECT_NEAR(h[10].toDouble(), net, 0.001);
        EXPECT_NEAR(h[12].toDouble(), vat, 0.001);
        EXPECT_NEAR(h[11].toDouble(), h[10].toDouble() + h[12].toDouble() + internal, 0.001);
        EXPECT_NEAR(h[13].toDouble(), taxed, 0.001);
        EXPECT_NEAR(h[13].toDouble() + h[14].toDouble(), h[10].toDouble(), 0.001);
    }
}

// One client and one article: the line's prices come from the client's list and class, or from
// what the handheld offers instead.
struct PriceCase {
    std::string name;
    const char* client; // values of IDCLIENTE, CLASE_PRECIO, IDLISTA, DESCUENTO
    bool withLists;
    double price, priceNet, discount;
    bool vatIncluded;
};

class CapturePrice : public Capture, public ::testing::WithParamInterface<PriceCase> {};

TEST_P(CapturePrice, LinesArePricedFromTheClientsList) {
    const PriceCase& c = GetParam();
    test::execSql(
        device, QStringLiteral(
                    "INSERT INTO MA_CLIENTES (IDCLIENTE, CLASE_PRECIO, IDLISTA, DESCUENTO) VALUES (%1);"
                    "INSERT INTO MA_ARTICULOS (IDARTICULO, DESCRIPCION, UNIDAD, ALICIVA, IMPORTE, IMPORTE2) "
                    "VALUES ('A001', 'Tornillo', 'UN', 21, 10, 9);")
                    .arg(QLatin1String(c.client)));
    if (c.withLists)
        test::execSql(
            device,
            QStringLiteral("INSERT INTO MA_PRECIOS (IDLISTA, NOMBRE, IDARTICULO, CONIVA, PRECIO1, PRECIO2) "
                           "VALUES ('L1', 'Mayorista', 'A001', 0, 12, 11), "
                           "('L2', 'Minorista', 'A001', 1, 15, NULL)"));
    capture(device, {4, 0, 0, 0, 3}, kToday);
    const auto lines = rows(
        QStringLiteral("SELECT MV_CPTE_DET_PRECIO, MV_CPTE_DET_PRECIO_S_IVA, MV_CPTE_DET_dto, "
                       "MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_TOTAL, MV_CPTE_DET_IMP_IVA FROM MV_CPTE_DETALLE"));
    ASSERT_EQ(lines.size(), 4);
    for (const QVariantList& l : lines) {
        EXPECT_DOUBLE_EQ(l[0].toDouble(), c.price);
        EXPECT_DOUBLE_EQ(l[1].toDouble(), c.priceNet);
        EXPECT_DOUBLE_EQ(l[2].toDouble(), c.discount);
        const double share = l[3].toDouble() * (1 - c.discount / 100);
        // A list with VAT included sells at its price; otherwise the VAT goes on top of the net.
        if (c.vatIncluded) {
            EXPECT_NEAR(l[4].toDouble(), round2(share * c.price), 1e-9);
        } else {
            EXPECT_NEAR(l[4].toDouble() - l[5].toDouble(), round2(share * c.priceNet), 1e-9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, CapturePrice,
    ::testing::Values(
        PriceCase{"own_list_price_of_the_class", "'C1', 2, 'L1', NULL", true, 13.31, 11, 0, false},
        PriceCase{"class_without_a_price_takes_the_first", "'C1', 3, 'L1', NULL", true, 14.52, 12, 0, false},
        PriceCase{"class_out_of_range_is_the_first", "'C1', 9, 'L1', NULL", true, 14.52, 12, 0, false},
        PriceCase{"list_with_vat_included", "'C1', 1, 'L2', NULL", true, 15, 12.4, 0, true},
        PriceCase{"no_list_takes_the_first_list", "'C1', 2, NULL, NULL", true, 13.31, 11, 0, false},
        PriceCase{"unknown_list_takes_the_first_list", "'C1', 1, 'ZZ', NULL", true, 14.52, 12, 0, false},
        PriceCase{"no_lists_take_the_articles_prices", "'C1', 2, 'L1', NULL", false, 10.89, 9, 0, false},
        PriceCase{"client_discount_on_every_line", "'C1', 1, 'L1', 10", true, 14.52, 12, 10, false}),
    test::CaseName());

// Numbers go on from the highest one the handheld holds for the type at the branch.
struct NumberCase {
    std::string name;
    QStringList headerKeys;
    QStringList lineKeys;
    int firstOrder;
};

class CaptureNumbering : public Capture, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(CaptureNumbering, ContinuesFromTheHighestKey) {
    const NumberCase& c = GetParam();
    test::seedMasters(device);
    for (const QString& k : c.headerKeys)
        test::execSql(device, QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL) VALUES ('%1')").arg(k));
    for (const QString& k : c.lineKeys)
        test::execSql(device,
                      QStringLiteral(
                          "INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM) VALUES ('%1', 1)")
                          .arg(k));
    const auto captured = capture(device, {2, 0, 0, 1, 1}, kToday);
    ASSERT_EQ(captured.size(), 3);
    EXPECT_EQ(captured.at(0).key, handheld::documentKey(QStringLiteral("NP"), c.firstOrder));
    EXPECT_EQ(captured.at(1).key, handheld::documentKey(QStringLiteral("NP"), c.firstOrder + 1));
    EXPECT_EQ(captured.at(2).key, QStringLiteral("OT000100000001A")) << "each type has its own numbers";
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, CaptureNumbering,
    ::testing::Values(NumberCase{"empty_handheld", {}, {}, 1},
                      NumberCase{"after_the_highest_header", {"NP000100000007A", "NP000100000041A"}, {}, 42},
                      NumberCase{
                          "a_line_without_its_header_counts", {"NP000100000003A"}, {"NP000100000050A"}, 51},
                      NumberCase{"other_branches_and_types_do_not_count",
                                 {"NP000200000099A", "RM000100000077A", "NP000100000003A"},
                                 {},
                                 4},
                      NumberCase{"type_in_lower_case_counts", {"np000100000060A"}, {}, 61},
                      NumberCase{"malformed_numbers_do_not_count",
                                 {"NP0001ABCDEFGHA", "NP00010000009A", "NP000100000005A"},
                                 {},
                                 6}),
    test::CaseName());

// Refused captures write nothing at all, not even the documents that could have been recorded.
struct RefusalCase {
    std::string name;
    const char* arrange; // SQL run after the masters are in
    CaptureRequest request;
    const char* reason;
};

class CaptureRefusal : public Capture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CaptureRefusal, WritesNothing) {
    const RefusalCase& c = GetParam();
    test::seedMasters(device);
    test::execSql(device, QString::fromUtf8(c.arrange));
    const auto before = test::snapshot(device);
    try {
        capture(device, c.request, kToday);
        ADD_FAILURE() << "not refused";
    } catch (const RunTimeError& e) {
        EXPECT_TRUE(e.description().contains(QLatin1String(c.reason))) << qPrintable(e.description());
        EXPECT_TRUE(e.description().endsWith(QStringLiteral("Nothing was captured.")))
            << qPrintable(e.description());
    }
    EXPECT_EQ(test::snapshot(device), before);
}

INSTANTIATE_TEST_SUITE_P(
    Handheld, CaptureRefusal,
    ::testing::Values(
        RefusalCase{"no_clients", "DELETE FROM MA_CLIENTES", {1, 0, 0, 0, 1}, "has no clients yet"},
        RefusalCase{"only_clients_without_a_code",
                    "UPDATE MA_CLIENTES SET IDCLIENTE = NULL",
                    {1, 0, 0, 0, 1},
                    "has no clients yet"},
        RefusalCase{"no_tasks_for_work_orders", "DELETE FROM TA_TAREAS", {2, 0, 0, 1, 1}, "has no tasks"},
        RefusalCase{"no_priced_articles",
                    "DELETE FROM MA_PRECIOS; UPDATE MA_ARTICULOS SET IMPORTE = NULL, IMPORTE2 = NULL",
                    {1, 0, 0, 0, 1},
                    "has no priced articles"},
        RefusalCase{"numbers_used_up",
                    "INSERT INTO MV_CPTE (MV_CPTE_TSNL) VALUES ('RM000199999999A')",
                    {1, 1, 0, 0, 1},
                    "has no RM numbers left"}),
    test::CaseName());

TEST_F(Capture, WorkOrdersNeedNoPricedArticles) {
    test::seedMasters(device);
    test::execSql(device, QStringLiteral("DELETE FROM MA_PRECIOS; DELETE FROM MA_ARTICULOS"));
    EXPECT_EQ(capture(device, {0, 0, 0, 2, 1}, kToday).size(), 2);
}

TEST_F(Capture, TheSameSeedRecordsTheSameDocumentsAnotherSeedOthers) {
    test::seedMasters(device);
    const QString twin = home.file(QStringLiteral("twin.db"));
    const QString other = home.file(QStringLiteral("other.db"));
    ASSERT_TRUE(QFile::copy(device, twin));
    ASSERT_TRUE(QFile::copy(device, other));
    const CaptureRequest request{4, 2, 2, 2, 42};
    CaptureRequest otherSeed = request;
    otherSeed.seed = 43;
    capture(device, request, kToday);
    capture(twin, request, kToday);
    capture(other, otherSeed, kToday);
    const auto documents = [](const QString& path) {
        const auto s = test::snapshot(path);
        return s.value(QStringLiteral("MV_CPTE")) + s.value(QStringLiteral("MV_CPTE_DETALLE"));
    };
    EXPECT_EQ(documents(device), documents(twin));
    EXPECT_NE(documents(device), documents(other));
}

} // namespace
