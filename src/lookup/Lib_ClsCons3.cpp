#include "lookup/Lib_ClsCons3.h"

#include "app/Cfg.h"
#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "app/Startup.h"
#include "app/Trap.h"
#include "data/DB_Dll.h"
#include "lookup/LookupSession.h"

#include <cmath>
#include <limits>
#include <memory>
#include <QFileInfo>

namespace kv {

namespace {
std::unique_ptr<Lib_ClsCons3>& slot() {
    static std::unique_ptr<Lib_ClsCons3> instance;
    return instance;
}

QVariant stockLevel(const QString& value) {
    return value.isEmpty() ? QVariant(0) : QVariant(value);
}

const QString Comma = QStringLiteral(",");
} // namespace

qint32 lookupRowLimit(const QString& topConsArt) {
    double n = ValorNumerico(topConsArt);
    if (n == 0) n = 1000;
    n = std::nearbyint(n); // halves to the even neighbour
    return qint32(
        qBound(double(std::numeric_limits<qint32>::min()), n, double(std::numeric_limits<qint32>::max())));
}

QString lookupMapText(const QString& field) {
    return QuitarCaracteres(field, QString(QChar(0)), QString(QChar(255))).trimmed();
}

std::optional<LookupMapRecord> findLookupRecord(const QList<LookupMapRecord>& records, const QString& name) {
    const QString wanted = name.trimmed();
    for (const LookupMapRecord& r : records)
        if (lookupMapText(r.source).compare(wanted, Qt::CaseInsensitive) == 0) return r;
    return std::nullopt;
}

LookupStatement statementFromMap(const LookupMapRecord& record, qint32 top) {
    const QString table = lookupMapText(record.source);
    QString columns = CambiarCaracter(record.columns, QStringLiteral("|"), Comma).trimmed();
    if (columns.startsWith(Comma)) columns.remove(0, 1);
    if (columns.endsWith(Comma)) columns.chop(1);
    if (columns.trimmed().isEmpty()) columns = QStringLiteral("*");
    LookupStatement st;
    const qsizetype comma = columns.indexOf(Comma);
    if (comma < 0) {
        st.needsConfiguring = true;
        return st;
    }
    st.searchColumn = columns.left(comma);
    QString filter = lookupMapText(record.extra);
    if (filter.isEmpty() && (table.compare(QStringLiteral("VT_CLIENTES"), Qt::CaseInsensitive) == 0 ||
                             table.compare(QStringLiteral("VT_PROVEEDORES"), Qt::CaseInsensitive) == 0))
        filter = QStringLiteral("Dada_De_Baja = 0"); // clients and suppliers taken off are not offered
    st.sql = QStringLiteral("SELECT TOP ") + QString::number(top) + QLatin1Char(' ') + columns +
             QStringLiteral(" FROM ") + table;
    if (!filter.isEmpty()) st.sql += QStringLiteral(" WHERE ") + filter;
    if (!st.searchColumn.isEmpty()) st.sql += QStringLiteral(" ORDER BY ") + st.searchColumn;
    return st;
}

LookupStatement statementFromFields(const QString& view, const QStringList& fieldNames, qint32 top) {
    static const QStringList skipped{QStringLiteral("ID"), QStringLiteral("FECHAHORA_MODIFICACION"),
                                     QStringLiteral("FECHAHORA_GRABACION")};
    static const QStringList describing{QStringLiteral("DESCRIPCION"), QStringLiteral("NOMBRE"),
                                        QStringLiteral("DETALLE")};
    QString list;
    QString search;
    for (const QString& name : fieldNames) {
        if (skipped.contains(name, Qt::CaseInsensitive)) continue;
        const bool first = list.trimmed().isEmpty();
        list = name + Comma + list;
        if (first || describing.contains(name, Qt::CaseInsensitive)) search = name;
    }
    list.chop(1);
    if (list.trimmed().isEmpty()) list = QStringLiteral(" * ");
    return {QStringLiteral("SELECT TOP ") + QString::number(top) + QLatin1Char(' ') + list +
                QStringLiteral(" FROM ") + view + QStringLiteral(" ORDER BY ") + search,
            search, false};
}

Lib_ClsCons3& Lib_ClsCons3::instance() {
    if (!slot()) slot().reset(new Lib_ClsCons3());
    return *slot();
}

void Lib_ClsCons3::reset() {
    slot().reset();
}

Lib_ClsCons3::Lib_ClsCons3()
    : gUsarMascarasConsultas(program().usarMascarasConsultas),
      gRutaMascaraConsultas(program().rutaMascaraConsultas), gConnString(program().lookupConnString) {
    MuestraStock = Cfg(QStringLiteral("MostrarStockenConsultas"));
    StkNivel1 = stockLevel(Cfg(QStringLiteral("Stk_Nivel1")));
    StkNivel2 = stockLevel(Cfg(QStringLiteral("Stk_Nivel2")));
    StkNivel3 = stockLevel(Cfg(QStringLiteral("Stk_Nivel3")));
    StkNivel4 = stockLevel(Cfg(QStringLiteral("Stk_Nivel4")));
    m_usaConsultaLike =
        Cfg(QStringLiteral("UsaConsultaLike")).compare(QStringLiteral("SI"), Qt::CaseInsensitive) == 0;
}

LookupStatement Lib_ClsCons3::statementFromView(const QString& SQL, qint32 top) {
    // Whatever names could be read make the statement; a view that cannot be opened has been
    // reported by the data layer, and the list reports the statement that fails.
    Trap trap = Trap::silent();
    Recordset rs;
    QStringList names;
    trap.step([&] {
        QString probe = QStringLiteral("select top 1 * from ") + SQL;
        ErpDb().AbrirRecordset(probe, rs, nullptr, cursor::ForwardOnly, lock::ReadOnly, -1, true);
    });
    trap.step([&] {
        for (int i = 0; i < rs.fields().count(); ++i)
            names << rs.fields().item(i).name();
    });
    trap.step([&] { ErpDb().CierraRecordset(rs); });
    return statementFromFields(SQL, names, top);
}

LookupStatement Lib_ClsCons3::ArmarSentencia(const QString& SQL) {
    Trap trap = Trap::silent();
    qint32 top = 0;
    trap.step([&] { top = lookupRowLimit(Cfg(QStringLiteral("TopConsArt"))); });
    if (!gUsarMascarasConsultas) return statementFromView(SQL, top);
    // Without the map file the list gets the bare name and orders the rows itself.
    if (!QFileInfo(gRutaMascaraConsultas).isFile()) return {SQL, QString(), false};
    std::optional<LookupMapRecord> record;
    bool cut = false;
    trap.step([&] { record = findLookupRecord(readLookupMap(gRutaMascaraConsultas, &cut), SQL); });
    // A cut file still gives its whole records; when the one asked for is not among them the
    // operator learns why the lookup shows the view's columns (the file is left as it is).
    if (cut && !record)
        op().messageBox(QStringLiteral("El archivo de consultas %1 está cortado: su último registro está "
                                       "incompleto y no se leyó. La consulta de %2 muestra las columnas de la "
                                       "vista.")
                            .arg(gRutaMascaraConsultas, SQL.trimmed()),
                        mb::Information, QStringLiteral("Aviso al operador"));
    return record ? statementFromMap(*record, top) : statementFromView(SQL, top);
}

void Lib_ClsCons3::ConsultaSearch(const QString& SQL) {
    const LookupStatement st = ArmarSentencia(SQL);
    if (st.needsConfiguring) {
        op().messageBox(QStringLiteral("Debe configurar la consulta para esta tabla"), mb::Information,
                        QStringLiteral("Aviso al operador"));
        return;
    }
    LookupSession session;
    session.CfgUsaConsultaLIKE = m_usaConsultaLike;
    session.OrdenarPorLwv = !st.sql.contains(QStringLiteral("ORDER BY"), Qt::CaseInsensitive);
    session.FiltroInicial.clear();
    session.SQL = st.sql;
    session.CampoDevuelto = CampoDevuelto;
    session.CheckBoxes = Checks;
    session.UsaCantidades = false;
    session.ValoresDefault.clear();
    session.MuestraStock = MuestraStock;
    session.StkNiveles = {StkNivel1, StkNivel2, StkNivel3, StkNivel4};
    session.ConnString = gConnString;
    session.CampoBusqueda = st.searchColumn;
    Valores.reset();
    session.CamposDevueltos.reset();
    session.Valores.reset();
    session.Cantidades.reset();

    session.load();
    op().listLookup(session);
    if (session.outcome() == LookupSession::Outcome::Open) session.cancel();

    Checks = false;
    Valores = session.Valores;
    ValorDevuelto = session.ValorDevuelto;
    session.CampoDevuelto.clear();
    CampoDevuelto.clear();
}

} // namespace kv
