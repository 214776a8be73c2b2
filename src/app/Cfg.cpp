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

QString Cfg(const QString& key, QString* aux) {
    QString value;
    QString auxiliary;
    Recordset rs;
    QString sql;
    // Ignore goes on with the next statement; any other answer (Retry included) gives up.
    Trap trap([](const RunTimeError& e) {
        return TratarError(e, -1, QStringLiteral("Cfg")) == mb::Ignore ? mb::Ignore : mb::Abort;
    });
    trap.step([&] {
        if (configTableName().trimmed().isEmpty()) configTableName() = QStringLiteral("TA_CONFIGURACION");
    }) && trap.step([&] {
        // The key is a program constant, but doubling its apostrophes keeps any key a literal.
        QString k = key.trimmed();
        sql = QStringLiteral("SELECT VALOR, valoraux FROM ") + configTableName() + QStringLiteral(" WHERE CLAVE = '") +
              k.replace(QLatin1Char('\''), QStringLiteral("''")) + QStringLiteral("'");
    }) && trap.step([&] {
        const QString k = key.trimmed();
        if (k.compare(QStringLiteral("[FECHA HASTA]"), Qt::CaseInsensitive) == 0 ||
            k.compare(QStringLiteral("[FECHA DESDE]"), Qt::CaseInsensitive) == 0)
            sql = sql.toUpper();
    }) && trap.step([&] { ErpDb().AbrirRecordset(sql, rs); }) && trap.step([&] {
        if (rs.eof()) {
            value = QStringLiteral(" ");
            auxiliary.clear();
        } else {
            value = TextoNoNulo(rs.value(QStringLiteral("Valor")));
            auxiliary = TextoNoNulo(rs.value(QStringLiteral("ValorAux")));
        }
    }) && trap.step([&] { ErpDb().CierraRecordset(rs); });
    if (trap.left()) {
        ErpDb().CierraRecordset(rs);
        return QString();
    }
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
