#include "conduit/Conducto.h"

#include "app/Operator.h"
#include "app/TextDecoding.h"

namespace kv {

namespace {

quint8 ansiCode(QChar c) {
    return toWindows1252(c).value_or(quint8('?'));
}

bool isDocumentTable(const QString& table) {
    for (const char* name : {"MV_CPTE", "MV_CPTE_DETALLE", "MV_MPCPTES"})
        if (table.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    return false;
}

void report(qint32 code, int* failures) {
    const QString text = MensajeConducto(code);
    if (text.isEmpty()) return;
    op().messageBox(text, mb::Critical, QStringLiteral("Aviso al Operador"));
    ++*failures;
}

} // namespace

const QList<ConduitTable>& TablasConducto() {
    static const QList<ConduitTable> tables{
        {QStringLiteral("TA_CATEGORIAS"), QStringLiteral("1:IDCATEGORIA")},
        {QStringLiteral("TA_RUBROS"), QStringLiteral("1:IDRUBRO")},
        {QStringLiteral("TA_TAREAS"), QStringLiteral("1:IDTAREA")},
        {QStringLiteral("TA_TIPOS"), QStringLiteral("1:IDTIPO")},
        {QStringLiteral("TA_UNIDAD"), QStringLiteral("1:IDUNIDAD")},
        {QStringLiteral("TA_ZONAS"), QStringLiteral("1:IDZONA")},
        {QStringLiteral("TA_BANCOS"), QStringLiteral("0:IDBANCO")},
        {QStringLiteral("TA_VENDEDORES"), QStringLiteral("1:IDVENDEDOR")},
        {QStringLiteral("MA_ARTICULOS"), QStringLiteral("0:IDARTICULO")},
        {QStringLiteral("MA_CLIENTES"), QStringLiteral("0:IDCLIENTE")},
        {QStringLiteral("MA_PRECIOS"), QStringLiteral("0:IDLISTA,1:NOMBRE,2:IDARTICULO")},
        {QStringLiteral("MV_CPTE"), QStringLiteral("0:MV_CPTE_TSNL")},
        {QStringLiteral("MV_CPTE_DETALLE"), QStringLiteral("0:MV_CPTE_DET_TSNL,1:MV_CPTE_DET_ITEM")},
        {QStringLiteral("MV_MPCPTES"), QStringLiteral("0:MP_CPTE_TSNL,1:MP_IDCLIENTE,2:MP_ITEM")},
        {QStringLiteral("CPTES_DB_CR"),
         QStringLiteral("0:TIPO_CPTE,1:CUENTA,2:FECHA,3:TC,4:SUCURSAL,5:NUMERO,6:LETRA,7:DEBE-HABER")},
        {QStringLiteral("TA_USUARIOS"), QStringLiteral("0:USUARIO,2:SISTEMA")},
    };
    return tables;
}

qint32 CodigoNumerico(const QString& text) {
    quint32 code = 0;
    for (int i = 0; i < 4; ++i) {
        code *= 256;
        if (i < text.size()) code += ansiCode(text.at(i));
    }
    return qint32(code);
}

qint32 CodigoTransferencia(const QString& table, bool receive) {
    if (!receive) return transfer::ToHandheld;
    return isDocumentTable(table) ? transfer::FromHandheld : transfer::None;
}

ConduitRecord RegistroConducto() {
    ConduitRecord r;
    r.name = kConduitName;
    r.creator = QStringLiteral("KVGM");
    r.creatorCode = CodigoNumerico(QStringLiteral("5712"));
    r.number6 = 1;
    return r;
}

TableRecord RegistroTabla(const ConduitTable& table, bool receive) {
    TableRecord r;
    r.name = table.name;
    r.transferCode = CodigoTransferencia(table.name, receive);
    r.keySpec = table.keySpec;
    r.number4 = -1;
    r.number5 = -1;
    r.text6 = QLatin1String("");
    r.text7 = QLatin1String("");
    return r;
}

QString MensajeConducto(qint32 code) {
    switch (code) {
    case uc::DeviceNotFound:
        return QStringLiteral("No se ha podido encontrar el Dispositivo Movil");
    case uc::RegistryAccess:
        return QStringLiteral("No se ha podido Tener Acceso al registro");
    case uc::BadArguments:
        return QStringLiteral("Se han enviado malos argumentos");
    case uc::NotInstalled:
        return QStringLiteral("No se ha encontrado el AppForge Instalado en este Equipo");
    case uc::ConduitNotFound:
        return QStringLiteral("No se ha encontrado el conducto Especifidado");
    case uc::TableNotFound:
        return QStringLiteral("No se ha encontrado La Tabla Especifidada");
    case uc::Uncoded:
        return QStringLiteral("Error No Codificado");
    default:
        return QString();
    }
}

int RegistrarConducto(bool receive, qint32 device, quint64* generation) {
    ConduitConfig& library = conduitConfig();
    library.AddUpdateConduit(RegistroConducto()); // a failure here shows up table by table
    int failures = 0;
    // A registry that cannot start the registration fails for every table too and says so there.
    quint64 made = 0;
    const bool begun = library.BeginRegistration(kConduitName, device, &made) == uc::Ok;
    if (generation) *generation = begun ? made : 0;
    for (const ConduitTable& table : TablasConducto())
        report(library.AddUpdateTable(kConduitName, RegistroTabla(table, receive)), &failures);
    library.SetEnableStatus(kConduitName, 1);
    return failures;
}

int RegistrarEnvioSinEspera(qint32 device) {
    quint64 generation = 0;
    int failures = RegistrarConducto(false, device, &generation);
    if (failures == 0) report(conduitConfig().SetUnattended(kConduitName, generation), &failures);
    return failures;
}

int DesactivarConducto() {
    int failures = 0;
    report(conduitConfig().SetEnableStatus(kConduitName, 0), &failures);
    return failures;
}

} // namespace kv
