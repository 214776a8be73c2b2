#include "app/Cfg.h"

#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "app/Trap.h"
#include "data/DB_Dll.h"

namespace kv {

QString& configTableName() {
    static QString name;
    return name;
}

namespace {

QString configStatement(const QString& key) {
    if (configTableName().trimmed().isEmpty()) configTableName() = QStringLiteral("TA_CONFIGURACION");
    // The key is a program constant, but doubling its apostrophes keeps any key a literal.
    QString k = key.trimmed();
    QString sql = QStringLiteral("SELECT VALOR, valoraux FROM ") + configTableName() + QStringLiteral(" WHERE CLAVE = '") +
                  k.replace(QLatin1Char('\''), QStringLiteral("''")) + QStringLiteral("'");
    const QString t = key.trimmed();
    if (t.compare(QStringLiteral("[FECHA HASTA]"), Qt::CaseInsensitive) == 0 ||
        t.compare(QStringLiteral("[FECHA DESDE]"), Qt::CaseInsensitive) == 0)
        sql = sql.toUpper();
    return sql;
}

// A single blank for a missing key.
void readValue(Recordset& rs, QString& value, QString& auxiliary) {
    if (rs.eof()) {
        value = QStringLiteral(" ");
        auxiliary.clear();
    } else {
        value = TextoNoNulo(rs.value(QStringLiteral("Valor")));
        auxiliary = TextoNoNulo(rs.value(QStringLiteral("ValorAux")));
    }
}

} // namespace

QString Cfg(const QString& key, QString* aux) {
    QString value;
    QString auxiliary;
    Recordset rs;
    QString sql;
    // Ignore goes on with the next statement; any other answer (Retry included) gives up.
    Trap trap([](const RunTimeError& e) {
        return TratarError(e, -1, QStringLiteral("Cfg")) == mb::Ignore ? mb::Ignore : mb::Abort;
    });
    trap.step([&] { sql = configStatement(key); }) && trap.step([&] { ErpDb().AbrirRecordset(sql, rs); }) &&
        trap.step([&] { readValue(rs, value, auxiliary); }) && trap.step([&] { ErpDb().CierraRecordset(rs); });
    if (trap.left()) {
        ErpDb().CierraRecordset(rs);
        return QString();
    }
    if (aux) *aux = auxiliary;
    return value;
}

QString CfgValue(const QString& key, QString* aux) {
    QString value;
    QString auxiliary;
    Recordset rs;
    ErpDb().openRecordset(configStatement(key), rs);
    readValue(rs, value, auxiliary);
    if (aux) *aux = auxiliary;
    return value;
}

int deviceCount() {
    const int n = ValorEntero(Cfg(QStringLiteral("GM_CANT_DISPOSITIVOS")));
    return n > 0 ? n : 1;
}

} // namespace kv

namespace kv {

int shownDevices(int count) {
    return qMin(count, MaxShownDevices);
}

QString deviceLimitNotice(int count) {
    if (count <= MaxShownDevices) return QString();
    return QStringLiteral("GM_CANT_DISPOSITIVOS indica %1 dispositivos: se muestran solo los primeros %2.\r"
                          "Corrija el valor en la configuración del sistema.")
        .arg(count)
        .arg(MaxShownDevices);
}

} // namespace kv
