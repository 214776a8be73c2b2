#include "app/Startup.h"

#include "app/AppHome.h"
#include "app/Cfg.h"
#include "app/GeneralFunctions.h"
#include "app/LockWaits.h"
#include "app/LookupMapFile.h"
#include "app/Operator.h"
#include "app/Trap.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"

#include <QFileInfo>
#include <QProcess>

namespace kv {

ProgramValues& program() {
    static ProgramValues values;
    return values;
}

bool LeerParametrosInicio(const QString& commandText, const QString& connString, int cursorLocation,
                          bool writeFiles) {
    ProgramValues& p = program();
    DB_Dll& erp = ErpDb();
    LaunchValues launch;
    QString cs = connString;
    bool connected = true;
    bool unknownMotor = false;
    // Error 5 goes on with the next statement; any other ends the preparation silently.
    Trap trap([](const RunTimeError& e) { return e.number() == err::InvalidProcedureCall ? mb::Ignore : mb::Abort; });
    trap.step([&] { p.carpeta = CarpetaAplicacion(AppHome::folder()); }) &&
        trap.step([&] { launch = readLaunchString(commandText); }) && trap.step([&] {
            p.caja = launch.caja;
            const auto motor = engineForName(launch.motor);
            if (motor)
                erp.gMotor = *motor;
            else if (!launch.motor.trimmed().isEmpty())
                unknownMotor = true;
            QString server = launch.server.trimmed();
            const bool hash = !server.isEmpty() && server.startsWith(QLatin1Char('#'));
            // "@Motor=oracle" and a "#" before the server ask for the same connection.
            if (hash || motor == Engine::Oracle) {
                if (hash) server.remove(0, 1);
                if (cs.isEmpty())
                    cs = QStringLiteral("Provider=OraOLEDB.Oracle.1;Data Source=") + launch.dbName +
                         QStringLiteral(";User Id=") + launch.user + QStringLiteral(";Password=") + launch.password +
                         QStringLiteral(";");
            }
            erp.gUsuario = launch.user;
            erp.gDBName = launch.dbName;
            erp.gUserPassWord = launch.password;
            erp.gServidor = NormalizarServidor(server);
        }) &&
        trap.step([&] {
            if (unknownMotor) return;
            erp.gCnn.setLockTimeout(lockWaits().lock);
            erp.OpenServerADODB(launch.server.trimmed().isEmpty(), cursorLocation, cs, true);
        }) &&
        trap.step([&] { connected = erp.gOpenFlag; });
    if (unknownMotor) {
        // Guessing an engine would connect somewhere the operator did not mean.
        op().messageBox(
            QStringLiteral("@Motor=%1 no es un motor conocido: use sqlserver, oracle, postgresql o sqlite")
                .arg(launch.motor.trimmed()),
            mb::Critical, QStringLiteral("Aviso al Operador!!!"));
        erp.gOpenFlag = false;
        return false;
    }
    if (!connected || !erp.gOpenFlag) return false;
    trap.step([&] { p.usuarioLogeado = erp.gUsuario; }) && trap.step([&] {
        erp.gCnn.setCommandTimeout(360);
        erp.gCnn.setIsolationLevel(256);
    }) &&
        trap.step([&] {
            if (erp.gDBName.isEmpty()) throw RunTimeError(0, QString()); // nothing more to prepare
        }) &&
        trap.step([&] { erp.gCnn.setDefaultDatabase(erp.gDBName); }) && trap.step([&] {
            p.lookupConnString = erp.gConnString;
            p.usarMascarasConsultas = true;
            p.rutaMascaraConsultas = p.carpeta + QStringLiteral("consultas.hxw");
        }) &&
        trap.step([&] {
            if (writeFiles && !QFileInfo::exists(p.rutaMascaraConsultas))
                GrabarMapaConsultas(p.rutaMascaraConsultas);
        }) &&
        trap.step([&] { configTableName() = QStringLiteral("ta_configuracion"); });
    return erp.gOpenFlag;
}

void AbrirBaseLocal() {
    DB_Dll& local = LocalDb();
    local.gDBName = settings::storePath();
    local.gProveedor = DB_Dll::pJETOLEDB40();
    if (settings::solicitaBase()) local.gDBName = program().carpeta + QStringLiteral("xxx.mdb");
    local.OpenLocalADODB(QString(), QStringLiteral("User Id"), QStringLiteral("Password"));
}

bool IniciarPrograma(const QString& launchString) {
    if (!LeerParametrosInicio(launchString, QString(), 3)) return false;
    AbrirBaseLocal();
    return true;
}

QString panelUsuario() {
    const QString user = program().usuarioLogeado;
    return user.isEmpty() ? QString() : QStringLiteral("USUARIO: ") + user;
}

QString panelVersion() {
    return QStringLiteral("Versión %1.%2.%3").arg(KV_VERSION_MAJOR).arg(KV_VERSION_MINOR).arg(KV_VERSION_PATCH);
}

qint64 MenuExes(const QString& opcion, const QString& parametroAdicional) {
    qint64 pid = 0;
    QString launch;
    QString command;
    Trap trap = Trap::prompting(QStringLiteral("MenuExes"));
    trap.step([&] {
        const DB_Dll& erp = ErpDb();
        launch = buildLaunchString(LaunchContext{erp.gServidor, erp.gDBName, erp.gUsuario, erp.gUserPassWord,
                                                 program().usuarioLogeado, program().caja, engineName(erp.gMotor)},
                                   parametroAdicional);
    }) && trap.step([&] {
        const QString name = opcion.mid(6);
        command = name.contains(QLatin1Char('/')) ? name : CarpetaAplicacion(AppHome::folder()) + name;
    }) && trap.step([&] {
        // The launch string goes as one argument: no shell ever sees its ";".
        if (!QProcess::startDetached(command, {launch}, QString(), &pid)) pid = 0;
    }) && trap.step([&] {
        if (pid == 0)
            op().messageBox(QStringLiteral("Opcion no Implementada!\rComuniquese con su proveedor de sistemas"),
                            mb::Critical, QStringLiteral("Atención"));
    });
    return pid;
}

} // namespace kv
