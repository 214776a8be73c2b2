#include "console/ExportFilters.h"

#include "app/SettingsFile.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"

namespace kv {

QString quoteCodeList(const QString& codes) {
    QString q = codes;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return q.replace(QLatin1Char(','), QStringLiteral("','"));
}

QString clientFilterFor(const QString& reparto, const QString& cliente) {
    if (!reparto.isEmpty()) {
        const QString q = quoteCodeList(reparto);
        QString f = QStringLiteral(" WHERE LTRIM(IDVENDEDOR) IN ('") + q + QStringLiteral("')");
        for (int i = 1; i <= 5; ++i)
            f += QStringLiteral(" OR LTRIM(IDVENDEDOR%1) IN ('").arg(i) + q + QStringLiteral("')");
        return f + QLatin1Char(' ');
    }
    if (!cliente.isEmpty()) return QStringLiteral(" WHERE CODIGO IN ('") + quoteCodeList(cliente) + QStringLiteral("') ");
    return QString();
}

QString priceListFilterFor(const QString& codes) {
    return QStringLiteral(" WHERE LTRIM(IDLISTA) IN ('") + quoteCodeList(codes) + QStringLiteral("')");
}

QString priceListQueryFor(const QString& clientFilter) {
    return QStringLiteral("SELECT IDLISTA FROM VT_CLIENTES ") + clientFilter +
           QStringLiteral(" AND NOT IDLISTA IS NULL GROUP BY IDLISTA");
}

ExportFilters buildExportFilters(int device) {
    // Missing values mean "no restriction": an unreadable settings file must stop the send, not
    // send the handheld everything.
    ComprobarIni(settings::File);
    const QString reparto = settings::readDevice(device, settings::Reparto);
    const QString cliente = settings::readDevice(device, settings::Cliente);
    return exportFiltersFor(reparto, cliente);
}

ExportFilters exportFiltersFor(const QString& reparto, const QString& cliente) {
    ExportFilters f;
    f.client = clientFilterFor(reparto, cliente);
    if (f.client.isEmpty()) return f;

    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirRecordset(priceListQueryFor(f.client), rs);
    // The error treatment has shown why; whatever the answer, a send without the price-list
    // filter would give the handheld every price list, so it stops here.
    if (!rs.state())
        throw RunTimeError(adoerr::ErrorsInCommand,
                           QStringLiteral("The price lists of the device's clients could not be read: nothing was "
                                          "exported."),
                           QStringLiteral("EnviarDatosPalm"));
    if (!rs.bof()) {
        // Each list code joined as it is; the quoting doubles its apostrophes.
        QString codes;
        rs.moveFirst();
        while (!rs.eof()) {
            const QVariant v = rs.value(QStringLiteral("IDLISTA"));
            if (!isNull(v)) codes += (codes.isEmpty() ? QString() : QStringLiteral(",")) + v.toString();
            rs.moveNext();
        }
        f.priceList = priceListFilterFor(codes);
    }
    erp.CierraRecordset(rs);
    return f;
}

} // namespace kv
