#include "data/DB_Dll.h"

#include "app/AppHome.h"
#include "app/Clock.h"
#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "app/SettingsFile.h"
#include "app/TextDecoding.h"
#include "app/Trap.h"
#include "data/Dialect.h"
#include "data/OdbcDriver.h"
#include "data/Translation.h"
#include "data/TypedValue.h"

#include <memory>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

namespace kv {

namespace {
const QString kCR = QStringLiteral("\r");

// An Oracle connection string names its provider past the first character
// ("Provider=OraOLEDB.Oracle.1"); its statements then pass the Oracle translation.
bool isOracleString(const Connection& conn) {
    return conn.connectionString().indexOf(QStringLiteral("ORACLE"), 1, Qt::CaseInsensitive) >= 1;
}
} // namespace

DB_Dll::DB_Dll() = default;
DB_Dll::~DB_Dll() = default;

Engine DB_Dll::engineForServer() const {
    if (engineForProvider(ConnectionString(gConnString).value(QStringLiteral("Provider"))) == Engine::Oracle)
        return Engine::Oracle;
    return gMotor == Engine::Jet ? Engine::SqlServer : gMotor;
}

void DB_Dll::ArmarConexion() {
    // "@Motor=oracle" builds the same connection as a "#" in the server.
    if (gServidor.contains(QLatin1Char('#')) || gMotor == Engine::Oracle) {
        gConnString = QStringLiteral("Provider=OraOLEDB.Oracle.1;Data Source=") + gDBName + QStringLiteral(";User Id=") +
                      gUsuario + QStringLiteral(";Password=") + gUserPassWord + QStringLiteral(";");
    } else {
        gConnString = QStringLiteral("PROVIDER=") + pSQLOLEDB() + QStringLiteral(";") + QStringLiteral("Server=") +
                      gServidor + QStringLiteral(";") + QStringLiteral("Database =") + gDBName + QStringLiteral(";") +
                      QStringLiteral("UId=") + gUsuario + QStringLiteral(";") + QStringLiteral("Pwd=") + gUserPassWord +
                      QStringLiteral(";") + gExtended;
    }
}

void DB_Dll::PedirParametros() {
    ConnectionValues v;
    v.dbName = gDBName;
    v.server = gServidor;
    v.user = gUsuario;
    v.password = gUserPassWord;
    // The list opens on the engine already chosen (SQL Server unless "@Motor" said otherwise).
    v.platform = gMotor == Engine::PostgreSql ? 2 : gMotor == Engine::Sqlite ? 3 : 0;
    if (!op().connectionDialog(v)) {
        gOpenFlag = false;
        return;
    }
    gOpenFlag = true;
    gDBName = v.dbName;
    gServidor = v.server;
    gUsuario = v.user;
    gUserPassWord = v.password;
    if (v.platform == 1) {
        gProveedor = ProviderOracle;
        if (!gServidor.contains(QLatin1Char('#'))) gServidor = QLatin1Char('#') + gServidor;
    } else {
        gProveedor = pSQLOLEDB();
        gMotor = v.platform == 2 ? Engine::PostgreSql : v.platform == 3 ? Engine::Sqlite : Engine::SqlServer;
    }
}

void DB_Dll::openServerConnection() {
    const Engine e = engineForServer();
    gCnn.setEngine(e);
    // SQL Server and Oracle always go through ODBC; PostgreSQL only when a driver is named.
    const QString fallback = e == Engine::SqlServer ? QStringLiteral("FreeTDS")
                             : e == Engine::Oracle  ? QStringLiteral("Oracle")
                                                    : QString();
    gCnn.setOdbcDriver(e == Engine::Sqlite ? QString()
                                           : LeerIni(QStringLiteral("CN000pr.INI"), QStringLiteral("General"),
                                                     OdbcDriver::settingsKey(e), fallback)
                                                 .trimmed());
    gCnn.open(gConnString, QString(), QString(), -1);
}

void DB_Dll::validateAdministrator() {
    if (!ExisteTablaDB(QStringLiteral("TA_USUARIOS"))) return;
    const QString v = DatosTabla(QStringLiteral("ta_usuarios"), gUsuario, QStringLiteral("Administrador"),
                                 QStringLiteral("nombre"), 8, QString(), true);
    gEsAdmin = ValorNumerico(v) == 1.0;
}

void DB_Dll::OpenServerADODB(bool PideParametrosSQL, int lCursor, const QString& ConnString, bool ValidaAdmin) {
    gOpenFlag = true;
    if (gProveedor.isEmpty()) gProveedor = pSQLOLEDB();
    if (ConnString.trimmed().isEmpty()) ArmarConexion();
    else gConnString = ConnString;
    if (PideParametrosSQL) {
        PedirParametros();
        if (!gOpenFlag) return;
        ArmarConexion();
    }

    // A failure with the engine's error list filled offers to try again with new parameters.
    bool left = false;
    Trap trap([&](const RunTimeError& e) {
        if (gCnn.errors().count() == 0) {
            op().messageBox(e.description(), 0, QString());
            if (!gCnn.state()) gOpenFlag = false; // never report a connection that is not there
            return mb::Abort;
        }
        const ProviderError& pe = gCnn.errors().item(0);
        const QString text = QStringLiteral(" Estado de Sql: ") + pe.sqlState + kCR + QStringLiteral("Numero de Error: ") +
                             QString::number(pe.number) + kCR + QStringLiteral("Descripcion: ") +
                             withoutPasswords(pe.description) + kCR + QStringLiteral("Codigo Nativo: ") +
                             QString::number(pe.nativeError) + kCR + QStringLiteral(" - Desea Intentarlo Nuevamente??? ");
        if (op().messageBox(text, mb::Critical + mb::YesNo, QStringLiteral(" Error de Conexion a Base de Datos")) != mb::Yes) {
            gOpenFlag = false;
            left = true;
            return mb::Abort;
        }
        gCnn.errors().clear();
        PedirParametros();
        if (!gOpenFlag) {
            left = true;
            return mb::Abort;
        }
        ArmarConexion();
        return mb::Retry;
    });
    trap.step([&] { gCnn.setCursorLocation(lCursor); });
    if (!trap.step([&] { openServerConnection(); }) || left) return;
    if (!ValidaAdmin) {
        gEsAdmin = true;
        return;
    }
    if (gDBName.trimmed().isEmpty()) return;
    trap.step([&] { gCnn.setDefaultDatabase(gDBName); }) && trap.step([&] { validateAdministrator(); });
}

bool DB_Dll::BuscarBase() {
    const auto chosen =
        op().openFile(QStringLiteral("Buscar Base de Datos"), QStringLiteral("Base de Datos de Microsoft Access |*.MDB"));
    if (!chosen) return false;
    gDBName = *chosen;
    return true;
}

void DB_Dll::OpenLocalADODB(const QString& ConnString, const QString& CadenaID, const QString& CadenaPWD) {
    QString passwordClause;
    for (;;) { // Reintentar
        const QString cs = !ConnString.isEmpty()
                               ? ConnString
                               : QStringLiteral("PROVIDER=") + gProveedor + QStringLiteral(";") +
                                     QStringLiteral("Data Source =") + gDBName + QStringLiteral(";") + CadenaID +
                                     QStringLiteral("=") + gUsuario + QStringLiteral(";") + CadenaPWD +
                                     QStringLiteral("=") + gUserPassWord + QStringLiteral(";") + gExtended +
                                     passwordClause;
        try {
            gCnn.setEngine(std::nullopt);
            gCnn.open(cs, QString(), QString(), -1);
            gConnString = cs;
            return;
        } catch (const RunTimeError& e) {
            const QString state = gCnn.errors().count() ? gCnn.errors().item(0).sqlState : QString();
            if (state == QLatin1String("3024") || state == QLatin1String("3051") || state == QLatin1String("3044")) {
                if (!BuscarBase()) return;
                continue;
            }
            if (state == QLatin1String("3031")) {
                const auto answer = op().inputBox(QStringLiteral("ingrese el password:"), QStringLiteral("Password Access"));
                passwordClause =
                    QStringLiteral(" Jet OLEDB:Database Password=") + answer.value_or(QString()) + QStringLiteral(";");
                continue;
            }
            op().messageBox(QString::number(e.number()) + QStringLiteral("  ") + withoutPasswords(e.description()),
                            mb::Critical, QString());
            return;
        }
    }
}

void DB_Dll::AbrirRecordset(QString& SentenciaSQL, Recordset& Lrcs, Connection* ConexionActiva, int CursorType,
                            int LockType, int Options, bool ConvOracle) {
    Trap trap = Trap::prompting(QStringLiteral("AbrirRecordset"));
    Connection& conn = ConexionActiva ? *ConexionActiva : gCnn;
    QString source;
    // On an Oracle connection the translation (or its refusal with ConvOracle false) is done
    // here, once; on the others the engine's own dialect applies as the record set opens.
    const bool oracle = isOracleString(conn);
    trap.step([&] { CierraRecordset(Lrcs); }) &&
        trap.step([&] { SentenciaSQL = SS_TSinonimos(SentenciaSQL); }) &&
        trap.step([&] { source = oracle && ConvOracle ? ORACLE_Dicc(SentenciaSQL) : SentenciaSQL; }) &&
        trap.step([&] { Lrcs.open(source, conn, CursorType, LockType, Options, !oracle); });
}

void DB_Dll::AbrirRecordset(const QString& sentencia, Recordset& Lrcs, Connection* ConexionActiva, int CursorType,
                            int LockType) {
    QString s = sentencia;
    AbrirRecordset(s, Lrcs, ConexionActiva, CursorType, LockType, -1, true);
}

void DB_Dll::openRecordset(const QString& sentencia, Recordset& Lrcs, Connection* ConexionActiva, int CursorType,
                           int LockType) {
    Connection& conn = ConexionActiva ? *ConexionActiva : gCnn;
    if (Lrcs.state() != 0) Lrcs.close();
    const QString s = SS_TSinonimos(sentencia);
    const bool oracle = isOracleString(conn);
    Lrcs.open(oracle ? ORACLE_Dicc(s) : s, conn, CursorType, LockType, -1, !oracle);
}

void DB_Dll::AbrirConsulta(const QString& SentenciaSQL, const QVariantList& values, Recordset& Lrcs,
                           Connection* ConexionActiva, int LockType) {
    Connection& conn = ConexionActiva ? *ConexionActiva : gCnn;
    if (Lrcs.state() != 0) Lrcs.close();
    QSqlQuery& q = conn.preparedStatement(SentenciaSQL, [&](const QString& sql) {
        const QString s = SS_TSinonimos(sql);
        return isOracleString(conn) ? ORACLE_Dicc(s) : conn.driver().translate(s);
    });
    const EngineDriver& drv = conn.driver();
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, drv.bindable(boundValue(values[i])));
    Lrcs.open(q, conn, LockType, SentenciaSQL);
}

void DB_Dll::CierraRecordset(Recordset& LrcsTemp) {
    Trap trap = Trap::prompting(QStringLiteral("CierraRecordset"));
    trap.step([&] {
        if (LrcsTemp.state() != 0) LrcsTemp.close();
    });
}

QString DB_Dll::DatosTabla(const QString& Tabla, const QString& ValorBuscado, const QString& CampoDevuelto,
                           const QString& Campo, int Tipodato, const QString& Condicion, bool UsaTrim) {
    QString result;
    Recordset rs;
    QString sql;
    Trap trap([](const RunTimeError& e) {
        return op().messageBox(e.description(), mb::Critical + mb::AbortRetryIgnore, QStringLiteral("Aviso al Operador"));
    });
    trap.step([&] {
        // The searched value goes into a literal with its apostrophes doubled, so a user name
        // such as O'Brien neither breaks the statement nor changes its meaning.
        const QString value = UsaTrim ? ValorBuscado.trimmed() : ValorBuscado;
        const QString literal = Tipodato == 8 ? dialect::literal(value) : QString::number(ValorNumerico(value), 'g', 17);
        const QString column = UsaTrim ? QStringLiteral("LTRIM(RTRIM(") + Campo + QStringLiteral("))") : Campo;
        sql = QStringLiteral("SELECT TOP 1 * FROM ") + Tabla + QStringLiteral(" WHERE ") + column + QStringLiteral(" =") +
              literal + QStringLiteral(" ") + (Condicion.trimmed().isEmpty() ? QString() : QStringLiteral(" AND ")) +
              Condicion;
    }) && trap.step([&] { AbrirRecordset(sql, rs, &gCnn, cursor::ForwardOnly, lock::ReadOnly, -1, true); }) &&
        trap.step([&] {
            if (rs.state() && !rs.eof()) result = TextoNoNulo(rs.value(CampoDevuelto));
        }) &&
        trap.step([&] { CierraRecordset(rs); });
    return result;
}

bool DB_Dll::ExisteTablaDB(const QString& Tabla) {
    bool found = false;
    std::unique_ptr<Recordset> rs;
    Trap trap([this](const RunTimeError& e) { return TratamientoErrores(e, 18, QStringLiteral("VerificaCampos")); });
    const bool ok = trap.step([&] { rs = gCnn.openSchema(20); }) && trap.step([&] {
        if (!rs || rs->eof()) return;
        while (!rs->eof()) {
            if (rs->value(QStringLiteral("TABLE_NAME")).toString().trimmed().compare(Tabla.trimmed(), Qt::CaseInsensitive) ==
                0) {
                found = true;
                return;
            }
            rs->moveNext();
        }
    });
    return ok && found;
}

void DB_Dll::reopenIfLost() {
    if (gOpenFlag && gCnn.lost()) gCnn.reopen();
}

QString DB_Dll::SS_TSinonimos(const QString& SQL) const {
    return kv::SS_TSinonimos(SQL, gEsAdmin);
}

QString DB_Dll::ORACLE_Dicc(const QString& Valor) const {
    return kv::ORACLE_Dicc(Valor, gConnString);
}

QString errorLogLine(const QDateTime& at, const QString& rutina, const QString& mensaje, const QString& word) {
    return at.toString(QStringLiteral("MM-dd-yyyy")) + QLatin1Char(' ') + at.toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral(" Rutina: ") + rutina.trimmed() + QStringLiteral(" Mensaje ") + mensaje.trimmed() +
           QStringLiteral(" Respondió : ") + word;
}

QString withoutPasswords(const QString& text) {
    // A value runs to the next ";", or, written in braces as ODBC strings quote a value that holds
    // ";", to its closing brace ("}}" inside stands for one brace).
    static const QRegularExpression pwd(QStringLiteral(R"(((?:Pwd|Password)\s*=)(?:\s*\{(?:[^}]|\}\})*\}?|[^;]*))"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString t = text;
    return t.replace(pwd, QStringLiteral("\\1****"));
}

int DB_Dll::TratamientoErrores(const RunTimeError& CodErr, int Botones, const std::optional<QString>& Rutina) {
    if (CodErr.number() == 0) return 0;
    const QString logPath = !gLogErr.isEmpty() ? gLogErr : AppHome::file(QStringLiteral("HXERR.LOG"));
    const QString mensaje = QStringLiteral("Ha ocurrido el Siguiente Error (") + QString::number(CodErr.number()) +
                            QStringLiteral(") ") + withoutPasswords(CodErr.description()).trimmed();
    const QString rutina = Rutina ? QStringLiteral(" - ") + *Rutina : QString();
    const QString title = CodErr.source() + rutina + QStringLiteral(" Aviso al operador!!! ");
    const int answer = op().errorPrompt(mensaje, Botones, title);
    // A log that cannot be written loses the line; the answer stands all the same. The other
    // programs of the suite read it in the workstation's single-byte code page.
    QFile log(logPath);
    const bool existed = log.exists();
    if (log.open(QIODevice::Append)) {
        if (!existed) log.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        log.write(windows1252Bytes(errorLogLine(Clock::now(), rutina, mensaje, mb::answerWord(answer)) + QStringLiteral("\r\n")));
    }
    return answer;
}

namespace {
std::unique_ptr<DB_Dll>& erpSlot() {
    static std::unique_ptr<DB_Dll> p;
    return p;
}
std::unique_ptr<DB_Dll>& localSlot() {
    static std::unique_ptr<DB_Dll> p;
    return p;
}
} // namespace

// The connections must close while the application (and its database drivers) still exists.
void closeAtApplicationEnd() {
    static bool registered = false;
    if (!registered && QCoreApplication::instance()) {
        qAddPostRoutine(resetProgramDatabases);
        registered = true;
    }
}

DB_Dll& ErpDb() {
    if (!erpSlot()) {
        erpSlot() = std::make_unique<DB_Dll>();
        closeAtApplicationEnd();
    }
    return *erpSlot();
}

DB_Dll& LocalDb() {
    if (!localSlot()) {
        localSlot() = std::make_unique<DB_Dll>();
        closeAtApplicationEnd();
    }
    return *localSlot();
}

void resetProgramDatabases() {
    erpSlot().reset();
    localSlot().reset();
}

} // namespace kv
