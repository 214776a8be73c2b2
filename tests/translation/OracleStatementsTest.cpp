// Every statement the send and the receive open on the ERP, as an Oracle connection receives
// it: the expected text where it matters, and for all of them no SQL Server syntax left.

#include "console/ExportFilters.h"
#include "data/Translation.h"
#include "export/ExportTasks.h"
#include "sync/ImportTargets.h"

#include <gtest/gtest.h>
#include <QRegularExpression>

using namespace kv;

namespace {

// The statement with its quoted literals emptied, so only its own words are looked at.
QString code(const QString& sql) {
    static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'"));
    QString s = sql;
    return s.replace(literal, QStringLiteral("''"));
}

QStringList programStatements() {
    QStringList list;
    const QString vendors = clientFilterFor(QStringLiteral("1,2"), QString());
    for (const ExportStep& step : exportSteps()) {
        if (step.destination.isEmpty()) continue; // the delete step empties the store, not the ERP
        list << sourceStatement(step, QString(), QString())
             << sourceStatement(step, vendors, priceListFilterFor(QStringLiteral("1,2")));
    }
    list << priceListQueryFor(vendors);
    for (const ObjectColumns& o : importObjects())
        list << QStringLiteral("SELECT TOP 1 * FROM ") + o.object;
    for (const char* view : {"V_MV_CPTE", "GM_V_MV_PLANILLA_CAB"})
        list << QStringLiteral("SELECT * FROM %1 WHERE TC = 'NP  ' AND IDCOMPROBANTE = '0001000000011'")
                    .arg(QLatin1String(view));
    list << QStringLiteral("SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB ")
         << QStringLiteral("SELECT * FROM VT_CLIENTES WHERE CTACODIGO = '000001'")
         << QStringLiteral(
                "SELECT VALOR, valoraux FROM ta_configuracion WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'")
         << QStringLiteral("SELECT TOP 1 * FROM ta_usuarios WHERE LTRIM(RTRIM(nombre)) ='ana' ");
    return list;
}

TEST(OracleStatements, NoSqlServerSyntaxIsLeft) {
    static const QRegularExpression top(QStringLiteral(R"(\bTOP\b)"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression isnull(QStringLiteral(R"(\bISNULL\s*\()"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QString& sql : programStatements()) {
        const QString sent = code(statementAsSent(sql, Engine::Oracle, false));
        EXPECT_FALSE(sent.contains(QLatin1Char('[')) || sent.contains(QLatin1Char(']')))
            << sent.toStdString();
        EXPECT_FALSE(sent.contains(QLatin1Char('+'))) << sent.toStdString();
        EXPECT_FALSE(top.match(sent).hasMatch()) << sent.toStdString();
        EXPECT_FALSE(isnull.match(sent).hasMatch()) << sent.toStdString();
        if (sql.contains(QLatin1String("TOP 1"))) {
            EXPECT_TRUE(sent.contains(QLatin1String("ROWNUM <= 1"))) << sent.toStdString();
        }
    }
}

struct Expected {
    const char* name;
    QString sql;
    Engine engine;
    QString sent;
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << e.name;
}

class SentStatements : public ::testing::TestWithParam<Expected> {};

TEST_P(SentStatements, ArePerDialect) {
    EXPECT_EQ(statementAsSent(GetParam().sql, GetParam().engine, false).toStdString(),
              GetParam().sent.toStdString());
}

const ExportStep& step(int position) {
    return exportSteps().at(position - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Program, SentStatements,
    ::testing::Values(
        Expected{"banks_oracle", sourceStatement(step(2), {}, {}), Engine::Oracle,
                 QStringLiteral("SELECT * FROM \"V_TA_Bancos\"")},
        Expected{"banks_postgresql", sourceStatement(step(2), {}, {}), Engine::PostgreSql,
                 QStringLiteral("SELECT * FROM V_TA_Bancos")},
        Expected{
            "zones_oracle", sourceStatement(step(13), {}, {}), Engine::Oracle,
            QStringLiteral("SELECT NVL(ZONA,'') as IdZona, NVL(ZONA,'') AS Descripcion FROM vt_clientes\r\n"
                           "WHERE NOT ZONA IS NULL\r\ngroup by ZONA")},
        Expected{"prices_oracle", sourceStatement(step(12), {}, {}), Engine::Oracle,
                 QStringLiteral("SELECT * FROM V_MA_Precios  WHERE TIPOLISTA='V'")},
        Expected{"new_document_oracle", QStringLiteral("SELECT TOP 1 * FROM V_MV_CPTE"), Engine::Oracle,
                 QStringLiteral("SELECT  * FROM V_MV_CPTE  WHERE ROWNUM <= 1  ")},
        Expected{"new_document_sqlite", QStringLiteral("SELECT TOP 1 * FROM V_MV_CPTE"), Engine::Sqlite,
                 QStringLiteral("SELECT * FROM V_MV_CPTE LIMIT 1")},
        Expected{"user_oracle",
                 QStringLiteral("SELECT TOP 1 * FROM ta_usuarios WHERE LTRIM(RTRIM(nombre)) ='ana' "),
                 Engine::Oracle,
                 QStringLiteral(
                     "SELECT  * FROM ta_usuarios WHERE LTRIM(RTRIM(nombre)) ='ana'  AND ROWNUM <= 1  ")}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
