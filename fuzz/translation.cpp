// The statement translations: any statement text, and operator text placed in a statement's
// literal, which must never change what the rest of the statement says.
#include "data/Translation.h"

#include "app/RunTimeError.h"
#include "data/Dialect.h"
#include "FuzzSupport.h"

#include <functional>
#include <QRegularExpression>

using namespace kv;

namespace {

const QString kOracle = QStringLiteral("Provider=OraOLEDB.Oracle.1;Data Source=ERP;");

using Translate = std::function<QString(const QString&)>;

const QList<QPair<const char*, Translate>>& translations() {
    static const QList<QPair<const char*, Translate>> all{
        {"sqlite", [](const QString& s) { return dialect::toSqlite(s); }},
        {"postgresql", [](const QString& s) { return dialect::toPostgres(s); }},
        {"synonyms", [](const QString& s) { return SS_TSinonimos(s, false); }},
        {"synonyms (admin)", [](const QString& s) { return SS_TSinonimos(s, true); }},
        {"oracle", [](const QString& s) { return ORACLE_Dicc(s, kOracle); }},
    };
    return all;
}

// Statements as the program writes them around a value from outside ("%V" is the literal).
const QStringList kStatements{
    QStringLiteral("SELECT TOP 5 [Codigo], LEN(Nombre), ISNULL(Mail, '') FROM [VT_CLIENTES] WHERE "
                   "LTRIM(IDVENDEDOR) IN (%V) OR CODIGO = %V ORDER BY Nombre"),
    QStringLiteral(
        "SELECT IDLISTA FROM VT_CLIENTES WHERE CODIGO IN (%V) AND NOT IDLISTA IS NULL GROUP BY IDLISTA"),
    QStringLiteral(
        "SELECT * FROM MA_CUENTAS WHERE Codigo LIKE %V AND CHARINDEX(%V, Nombre) > 0 AND Saldo = ''"),
    QStringLiteral("DELETE * FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = %V"),
    QStringLiteral(
        "SELECT CONVERT(NVARCHAR, Fecha, 103) FROM V_MV_CPTE WHERE TC = %V AND IDCOMPROBANTE = %V"),
};

QString literal(const QString& value) {
    QString v = value;
    return QLatin1Char('\'') + v.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));

    // Any text as a whole statement: a translation or error 5, never a crash.
    for (const auto& [name, translate] : translations()) {
        try {
            translate(text);
        } catch (const RunTimeError&) {
        }
    }

    // The text as a value: the statement says the same with only the literal differing. A value
    // that is a date is a date on Oracle, so it is left out there.
    static const QRegularExpression dateLike(QStringLiteral("^[0-9/.\\- ]*$"));
    const bool maybeDate = dateLike.match(text).hasMatch();
    const QString marker = QStringLiteral("'kv-fuzz-marker'");
    // One statement per input keeps the runs quick; the input's length picks it.
    for (const QString& statement : {kStatements.at(qsizetype(size) % kStatements.size())}) {
        QString withValue = statement;
        withValue.replace(QStringLiteral("%V"), literal(text));
        QString withMarker = statement;
        withMarker.replace(QStringLiteral("%V"), marker);
        for (const auto& [name, translate] : translations()) {
            if (maybeDate && QLatin1String(name) == QLatin1String("oracle")) continue;
            const QString expected = translate(withMarker).replace(marker, literal(text));
            const QString got = translate(withValue);
            if (got != expected) {
                std::fprintf(stderr, "%s\nexpected: %s\ngot:      %s\n", name, qPrintable(expected),
                             qPrintable(got));
                KV_FUZZ_CHECK(false, "a value in a literal changes only that literal");
            }
        }
    }
    return 0;
}
