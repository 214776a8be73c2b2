#include "ScriptedOperator.h"
#include "ErpFile.h"
#include "TestEnv.h"
#include "app/Cfg.h"
#include "app/LookupMapFile.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "data/DB_Dll.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>

using namespace kv;

namespace {


// A small ERP in a file with the users and configuration tables, and an empty store.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        resetProgramDatabases();
        program() = ProgramValues();
        configTableName().clear();
        erp = home.file(QStringLiteral("erp.db"));
        test::makeSqliteDatabase(erp, {
            QStringLiteral("CREATE TABLE TA_USUARIOS (NOMBRE TEXT, SISTEMA TEXT, PASSWORD TEXT, Administrador INT)"),
            QStringLiteral("INSERT INTO TA_USUARIOS VALUES ('ana', 'GM', 'pw', 0)"),
            QStringLiteral("CREATE TABLE ta_configuracion (CLAVE TEXT, VALOR TEXT, VALORAUX TEXT)"),
            QStringLiteral("INSERT INTO ta_configuracion VALUES ('GM_CANT_DISPOSITIVOS', '4', 'aux')"),
            QStringLiteral("INSERT INTO ta_configuracion VALUES ('[FECHA DESDE]', '01/01/2026', NULL)"),
            QStringLiteral("INSERT INTO ta_configuracion VALUES ('GM_UsaPlanillaControl', NULL, NULL)"),
        });
        test::makeSqliteDatabase(home.file(QStringLiteral("kvpalmsync.mdb")), {QStringLiteral("CREATE TABLE MV_CPTE (A TEXT)")});
    }
    void TearDown() override { resetProgramDatabases(); }
    QString launch(const QString& extra = QString()) const {
        return QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;@Password=pw;").arg(erp) + extra;
    }
    test::TempHome home;
    test::ScopedOperator person;
    QString erp;
};

TEST_F(Startup, ConnectsWritesTheMapFileAndOpensTheStore) {
    ASSERT_TRUE(IniciarPrograma(launch()));
    EXPECT_EQ(ErpDb().gCnn.state(), 1);
    EXPECT_EQ(ErpDb().gCnn.commandTimeout(), 360);
    EXPECT_EQ(ErpDb().gCnn.isolationLevel(), 256);
    EXPECT_EQ(LocalDb().gCnn.state(), 1);
    EXPECT_EQ(QFileInfo(home.file(QStringLiteral("consultas.hxw"))).size(), 9616);
    EXPECT_EQ(configTableName(), QStringLiteral("ta_configuracion"));
    EXPECT_EQ(panelUsuario(), QStringLiteral("USUARIO: ana"));
    EXPECT_TRUE(panelVersion().startsWith(QStringLiteral("Versión ")));
    EXPECT_TRUE(person.person.shown().isEmpty());
}

TEST_F(Startup, PresentMapFileIsLeftAlone) {
    QFile f(home.file(QStringLiteral("consultas.hxw")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hecho a mano");
    f.close();
    ASSERT_TRUE(IniciarPrograma(launch()));
    EXPECT_EQ(QFileInfo(f.fileName()).size(), 12);
}

TEST_F(Startup, NoCommandLineOpensTheDialogAndShowsTheTypedUser) {
    person.person.answerConnection(ConnectionValues{erp, QStringLiteral("local"), QStringLiteral("ana"), QString(), 3});
    ASSERT_TRUE(IniciarPrograma(QString()));
    ASSERT_EQ(person.person.connectionDialogs().size(), 1);
    EXPECT_TRUE(person.person.connectionDialogs().first().user.isEmpty());
    EXPECT_EQ(panelUsuario(), QStringLiteral("USUARIO: ana"));
}

TEST_F(Startup, CancelledDialogEndsTheProgram) {
    EXPECT_FALSE(IniciarPrograma(QString()));
    EXPECT_EQ(LocalDb().gCnn.state(), 0) << "nothing else happens once the ERP connection is refused";
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("consultas.hxw"))));
}

TEST_F(Startup, LoggedUserKeyDoesNotChangeTheConnectedUser) {
    ASSERT_TRUE(IniciarPrograma(QStringLiteral(" ; pexora@ ; @UsuarioLogeado = jefe; ") + launch()));
    EXPECT_EQ(ErpDb().gUsuario, QStringLiteral("ana"));
    EXPECT_EQ(panelUsuario(), QStringLiteral("USUARIO: ana"));
}

struct ServerCase {
    const char* name;
    const char* server;
    const char* expectedServer;
    const char* expectedConn;
};

class LaunchServers : public Startup, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(LaunchServers, GiveTheDataLayerTheHostAndTheRightString) {
    person.person.answer(mb::No); // the connection fails: no such server here
    EXPECT_FALSE(LeerParametrosInicio(QStringLiteral("@Server=%1;@DbName=orcl;@Usuario=ana;@Password=a=b;")
                                          .arg(QString::fromLatin1(GetParam().server))));
    EXPECT_EQ(ErpDb().gServidor.toStdString(), GetParam().expectedServer);
    EXPECT_EQ(ErpDb().gUserPassWord, QStringLiteral("ab"));
    EXPECT_EQ(ErpDb().gConnString.toStdString(), GetParam().expectedConn);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LaunchServers,
    ::testing::Values(ServerCase{"oracle_hash", "#ORA1", "ORA1",
                                 "Provider=OraOLEDB.Oracle.1;Data Source=orcl;User Id=ana;Password=ab;"},
                      // "@Motor=oracle" builds the very connection a "#" does.
                      ServerCase{"oracle_motor", "ORA1;@Motor=oracle", "ORA1",
                                 "Provider=OraOLEDB.Oracle.1;Data Source=orcl;User Id=ana;Password=ab;"},
                      ServerCase{"host_and_port", "127.0.0.1:1", "127.0.0.1",
                                 "PROVIDER=SQLOLEDB;Server=127.0.0.1;Database =orcl;UId=ana;Pwd=ab;"},
                      ServerCase{"prefix_and_host", "tcp/127.0.0.1", "127.0.0.1",
                                 "PROVIDER=SQLOLEDB;Server=127.0.0.1;Database =orcl;UId=ana;Pwd=ab;"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, UnknownMotorEndsNamingTheFourEngines) {
    EXPECT_FALSE(LeerParametrosInicio(
        QStringLiteral("@Motor=mysql;@Server=local;@DbName=%1;@Usuario=ana;@Password=pw;").arg(erp)));
    EXPECT_FALSE(ErpDb().gCnn.state());
    ASSERT_EQ(person.person.messages().size(), 1);
    const QString m = person.person.messages().first();
    for (const char* name : {"mysql", "sqlserver", "oracle", "postgresql", "sqlite"})
        EXPECT_TRUE(m.contains(QLatin1String(name))) << m.toStdString();
}

TEST_F(Startup, SolicitaBaseAsksForTheStoreAtEveryStart) {
    GrabarIni(QStringLiteral("CN000pr.INI"), QStringLiteral("General"), QStringLiteral("SolicitaBase"), QStringLiteral("SI"));
    person.person.answerFile(home.file(QStringLiteral("kvpalmsync.mdb")));
    ASSERT_TRUE(IniciarPrograma(launch()));
    EXPECT_EQ(person.person.shownOf(QStringLiteral("file")).size(), 1);
    EXPECT_EQ(LocalDb().gCnn.state(), 1);
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("xxx.mdb"))));
}

struct CfgCase {
    const char* name;
    const char* key;
    const char* value;
    const char* aux;
};

class CfgValues : public Startup, public ::testing::WithParamInterface<CfgCase> {};

TEST_P(CfgValues, ReadTheConfigurationTable) {
    ASSERT_TRUE(IniciarPrograma(launch()));
    QString aux = QStringLiteral("sin tocar");
    EXPECT_EQ(Cfg(QString::fromLatin1(GetParam().key), &aux).toStdString(), GetParam().value);
    EXPECT_EQ(aux.toStdString(), GetParam().aux);
    EXPECT_TRUE(person.person.shown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CfgValues,
    ::testing::Values(CfgCase{"present", "GM_CANT_DISPOSITIVOS", "4", "aux"},
                      CfgCase{"trimmed_key", "  GM_CANT_DISPOSITIVOS ", "4", "aux"},
                      CfgCase{"missing_is_one_blank", "NO_EXISTE", " ", ""},
                      CfgCase{"null_value_is_empty", "GM_UsaPlanillaControl", "", ""},
                      CfgCase{"fecha_key_in_small_letters_capitalises", "[fecha desde]", "01/01/2026", ""},
                      CfgCase{"apostrophe_stays_a_literal", "X' OR '1'='1", " ", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, CfgBeforeStartUpReadsTheDefaultTableName) {
    DB_Dll& db = ErpDb();
    db.gMotor = Engine::Sqlite;
    db.gDBName = erp;
    db.OpenServerADODB(false, 3, QString(), false);
    EXPECT_EQ(Cfg(QStringLiteral("GM_CANT_DISPOSITIVOS")), QStringLiteral("4"));
    EXPECT_EQ(configTableName(), QStringLiteral("TA_CONFIGURACION"));
}

TEST_F(Startup, DeviceCountOfZeroOrMissingIsOne) {
    ASSERT_TRUE(IniciarPrograma(launch()));
    EXPECT_EQ(deviceCount(), 4);
    ErpDb().gCnn.execute(QStringLiteral("UPDATE ta_configuracion SET VALOR = '0' WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'"));
    EXPECT_EQ(deviceCount(), 1);
    ErpDb().gCnn.execute(QStringLiteral("DELETE FROM ta_configuracion WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'"));
    EXPECT_EQ(deviceCount(), 1);
}

TEST_F(Startup, MenuExesHandsTheLaunchStringAsOneArgument) {
    ASSERT_TRUE(IniciarPrograma(launch()));
    const QString script = home.file(QStringLiteral("Rp_planilla_mov"));
    const QString out = home.file(QStringLiteral("args.txt"));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '%1'\n").arg(out).toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    EXPECT_GT(MenuExes(QStringLiteral("shell:Rp_planilla_mov"), QString()), 0);
    for (int i = 0; i < 100 && !QFile::exists(out); ++i) QThread::msleep(20);
    QThread::msleep(50);
    QFile args(out);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(args.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), QStringLiteral("1"));
    EXPECT_TRUE(lines.value(1).startsWith(QStringLiteral(" ; @server=local; @dbname=")));
    EXPECT_TRUE(lines.value(1).contains(QStringLiteral("; pexora@ ; @UsuarioLogeado = ana; @Caja=1;")));
    EXPECT_TRUE(person.person.shown().isEmpty());
}

TEST_F(Startup, MenuExesOfAMissingProgramSaysItIsNotImplemented) {
    ASSERT_TRUE(IniciarPrograma(launch()));
    EXPECT_EQ(MenuExes(QStringLiteral("shell:no_existe"), QString()), 0);
    ASSERT_EQ(person.person.messages().size(), 1);
    EXPECT_EQ(person.person.messages().first(),
              QStringLiteral("Atención: Opcion no Implementada!\rComuniquese con su proveedor de sistemas"));
}

} // namespace
