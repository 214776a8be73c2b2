#include "ScriptedOperator.h"
#include "ErpFile.h"
#include "TestEnv.h"
#include "app/Clock.h"
#include "app/TextDecoding.h"
#include "data/DB_Dll.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace kv;

namespace {


const QStringList kUsers{
    QStringLiteral("CREATE TABLE TA_USUARIOS (NOMBRE VARCHAR(50), SISTEMA VARCHAR(50), PASSWORD VARCHAR(40), "
                   "Administrador INTEGER)"),
    QStringLiteral("INSERT INTO TA_USUARIOS VALUES (' admin ', 'GM', 'x', 1)"),
    QStringLiteral("INSERT INTO TA_USUARIOS VALUES ('ana', 'GM', 'y', 0)"),
    QStringLiteral("INSERT INTO TA_USUARIOS VALUES ('O''Brien', 'GM', 'z', 1)"),
};

class DataAccess : public ::testing::Test {
protected:
    void SetUp() override { erpPath = home.file(QStringLiteral("erp.db")); }
    // An ERP object aimed at the SQLite ERP file.
    void aimAtFile(DB_Dll& db, const QString& user) {
        db.gMotor = Engine::Sqlite;
        db.gDBName = erpPath;
        db.gUsuario = user;
    }
    test::TempHome home;
    test::ScopedOperator person;
    QString erpPath;
};

struct AdminCase {
    const char* name;
    const char* user;
    bool withTable;
    bool validate;
    bool expected;
};

class AdministratorCheck : public DataAccess, public ::testing::WithParamInterface<AdminCase> {};

TEST_P(AdministratorCheck, ReadsTheUsersTable) {
    test::makeSqliteDatabase(erpPath, GetParam().withTable ? kUsers : QStringList{QStringLiteral("CREATE TABLE X (A INT)")});
    DB_Dll db;
    aimAtFile(db, QString::fromUtf8(GetParam().user));
    db.OpenServerADODB(false, 3, QString(), GetParam().validate);
    EXPECT_TRUE(db.gOpenFlag);
    EXPECT_EQ(db.gCnn.state(), 1);
    EXPECT_EQ(db.gEsAdmin, GetParam().expected);
    EXPECT_TRUE(person.person.shown().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Users, AdministratorCheck,
                         ::testing::Values(AdminCase{"trimmed_admin", "admin", true, true, true},
                                           AdminCase{"ordinary", "ana", true, true, false},
                                           AdminCase{"apostrophe_in_name", "O'Brien", true, true, true},
                                           AdminCase{"unknown_user", "nadie", true, true, false},
                                           AdminCase{"no_users_table", "admin", false, true, false},
                                           AdminCase{"no_validation_means_admin", "ana", true, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataAccess, AdministratorCheckOnPostgresql) {
    test::TempPgDatabase pg;
    KV_REQUIRE_PG(pg);
    {
        Connection setup;
        setup.setEngine(Engine::PostgreSql);
        setup.open(QStringLiteral("Server=%1,%2;Database=%3;UId=%4;").arg(pg.host()).arg(pg.port()).arg(pg.name(), pg.user()));
        setup.execute(QStringLiteral("CREATE TABLE ta_usuarios (nombre VARCHAR(50), administrador SMALLINT)"));
        setup.execute(QStringLiteral("INSERT INTO ta_usuarios VALUES ('%1', 1)").arg(pg.user()));
    }
    DB_Dll db;
    db.gMotor = Engine::PostgreSql;
    db.gServidor = QStringLiteral("%1,%2").arg(pg.host()).arg(pg.port());
    db.gDBName = pg.name();
    db.gUsuario = pg.user();
    db.OpenServerADODB();
    ASSERT_TRUE(db.gOpenFlag);
    EXPECT_TRUE(db.gEsAdmin);
    EXPECT_TRUE(person.person.shown().isEmpty());
}

TEST_F(DataAccess, ConnectionStringsAreBuiltAsTheSuiteWritesThem) {
    DB_Dll db;
    db.gServidor = QStringLiteral("srv1");
    db.gDBName = QStringLiteral("erp");
    db.gUsuario = QStringLiteral("ana");
    db.gUserPassWord = QStringLiteral("pw");
    db.ArmarConexion();
    EXPECT_EQ(db.gConnString, QStringLiteral("PROVIDER=SQLOLEDB;Server=srv1;Database =erp;UId=ana;Pwd=pw;"));
    db.gServidor = QStringLiteral("#ora");
    db.ArmarConexion();
    EXPECT_EQ(db.gConnString, QStringLiteral("Provider=OraOLEDB.Oracle.1;Data Source=erp;User Id=ana;Password=pw;"));
    EXPECT_EQ(db.engineForServer(), Engine::Oracle);
}

TEST_F(DataAccess, RetryPromptYesShowsTheDialogAndConnectsOnTheSecondAttempt) {
    test::makeSqliteDatabase(erpPath, kUsers);
    DB_Dll db;
    aimAtFile(db, QStringLiteral("admin"));
    db.gDBName = home.file(QStringLiteral("no-such.db"));
    person.person.answer(mb::Yes);
    person.person.answerConnection(ConnectionValues{erpPath, QString(), QStringLiteral("admin"), QString(), 3});
    db.OpenServerADODB();
    ASSERT_EQ(person.person.shownOf(QStringLiteral("message")).size(), 1);
    const auto prompt = person.person.shownOf(QStringLiteral("message")).first();
    EXPECT_EQ(prompt.title, QStringLiteral(" Error de Conexion a Base de Datos"));
    EXPECT_EQ(prompt.style, 20);
    EXPECT_TRUE(prompt.text.startsWith(QStringLiteral(" Estado de Sql: 3024\rNumero de Error: ")));
    EXPECT_TRUE(prompt.text.endsWith(QStringLiteral("\rCodigo Nativo: 3024\r - Desea Intentarlo Nuevamente??? ")));
    EXPECT_EQ(person.person.connectionDialogs().size(), 1);
    EXPECT_TRUE(db.gOpenFlag);
    EXPECT_EQ(db.gCnn.state(), 1);
    EXPECT_TRUE(db.gEsAdmin);
}

TEST_F(DataAccess, RetryPromptNoLeavesTheFlagDown) {
    DB_Dll db;
    aimAtFile(db, QStringLiteral("admin"));
    person.person.answer(mb::No);
    db.OpenServerADODB();
    EXPECT_FALSE(db.gOpenFlag);
    EXPECT_EQ(db.gCnn.state(), 0);
    EXPECT_TRUE(person.person.connectionDialogs().isEmpty());
    EXPECT_FALSE(QFile::exists(erpPath)) << "a failed open must not create the database file";
}

TEST_F(DataAccess, CancelledDialogMeansNoConnectionAndNoMessage) {
    DB_Dll db;
    db.gConnString = QStringLiteral("given");
    person.person.answerConnection(std::nullopt);
    db.OpenServerADODB(true, 3, QStringLiteral("PROVIDER=SQLOLEDB;Server=x;"), true);
    EXPECT_FALSE(db.gOpenFlag);
    EXPECT_EQ(db.gCnn.state(), 0);
    EXPECT_EQ(person.person.shownOf(QStringLiteral("message")).size(), 0);
    EXPECT_EQ(person.person.connectionDialogs().size(), 1);
}

TEST_F(DataAccess, DialogPlatformOracleMarksTheServer) {
    DB_Dll db;
    person.person.answerConnection(ConnectionValues{QStringLiteral("orcl"), QStringLiteral("dbhost"),
                                                    QStringLiteral("ana"), QStringLiteral("pw"), 1});
    db.PedirParametros();
    EXPECT_TRUE(db.gOpenFlag);
    EXPECT_EQ(db.gServidor, QStringLiteral("#dbhost"));
    EXPECT_EQ(db.gProveedor, QStringLiteral("OraOLEDB.Oracle.1"));
    db.ArmarConexion();
    EXPECT_TRUE(db.gConnString.startsWith(QStringLiteral("Provider=OraOLEDB.Oracle.1;Data Source=orcl;")));
}

TEST_F(DataAccess, MissingStoreAsksForTheFileThenOpensTheChosenOne) {
    const QString store = home.file(QStringLiteral("elegido.mdb"));
    test::makeSqliteDatabase(store, {QStringLiteral("CREATE TABLE MV_CPTE (A TEXT)")});
    DB_Dll local;
    local.gProveedor = DB_Dll::pJETOLEDB40();
    local.gDBName = home.file(QStringLiteral("xxx.mdb"));
    person.person.answerFile(store);
    local.OpenLocalADODB();
    ASSERT_EQ(person.person.shownOf(QStringLiteral("file")).size(), 1);
    EXPECT_EQ(person.person.shownOf(QStringLiteral("file")).first().title, QStringLiteral("Buscar Base de Datos"));
    EXPECT_EQ(local.gCnn.state(), 1);
    EXPECT_EQ(local.gDBName, store);
    EXPECT_EQ(local.gConnString,
              QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =%1;User Id=;Password=;").arg(store));
}

TEST_F(DataAccess, CancelledFilePromptLeavesNoConnectionAndCreatesNoFile) {
    DB_Dll local;
    local.gProveedor = DB_Dll::pJETOLEDB40();
    local.gDBName = home.file(QStringLiteral("xxx.mdb"));
    person.person.answerFile(std::nullopt);
    local.OpenLocalADODB();
    EXPECT_EQ(local.gCnn.state(), 0);
    EXPECT_FALSE(QFileInfo::exists(local.gDBName));
    EXPECT_TRUE(person.person.shownOf(QStringLiteral("message")).isEmpty());
}

TEST_F(DataAccess, AbrirRecordsetClosesTheOpenSetAndWritesTheSynonymBack) {
    test::makeSqliteDatabase(erpPath, kUsers + QStringList{QStringLiteral("CREATE TABLE SS_MA_CUENTAS (CODIGO TEXT)"),
                                               QStringLiteral("INSERT INTO SS_MA_CUENTAS VALUES ('restringida')")});
    DB_Dll db;
    aimAtFile(db, QStringLiteral("ana"));
    db.OpenServerADODB();
    ASSERT_FALSE(db.gEsAdmin);
    Recordset rs;
    QString sql = QStringLiteral("SELECT * FROM TA_USUARIOS");
    db.AbrirRecordset(sql, rs);
    ASSERT_EQ(rs.state(), 1);
    QString cuentas = QStringLiteral("SELECT * FROM MA_CUENTAS ");
    db.AbrirRecordset(cuentas, rs); // reopening the same set closes it first
    EXPECT_EQ(cuentas, QStringLiteral("SELECT * FROM SS_MA_CUENTAS "));
    ASSERT_EQ(rs.state(), 1);
    EXPECT_EQ(rs.value(QStringLiteral("CODIGO")).toString(), QStringLiteral("restringida"));
    EXPECT_TRUE(person.person.shown().isEmpty());
}

TEST_F(DataAccess, FailedOpenGoesToTheErrorPromptAndLeavesTheSetClosed) {
    test::makeSqliteDatabase(erpPath, kUsers);
    DB_Dll db;
    aimAtFile(db, QStringLiteral("ana"));
    db.OpenServerADODB();
    Recordset rs;
    db.AbrirRecordset(QStringLiteral("SELECT * FROM NO_EXISTE"), rs);
    EXPECT_EQ(rs.state(), 0);
    ASSERT_EQ(person.person.shownOf(QStringLiteral("error")).size(), 1);
    EXPECT_EQ(person.person.shownOf(QStringLiteral("error")).first().title,
              QStringLiteral("AbrirRecordset - Aviso al operador!!!"));
}

TEST_F(DataAccess, DatosTablaFindsTrimmedValuesAndNeverBreaksOnQuotes) {
    test::makeSqliteDatabase(erpPath, kUsers);
    DB_Dll db;
    aimAtFile(db, QStringLiteral("ana"));
    db.OpenServerADODB(false, 3, QString(), false);
    EXPECT_EQ(db.DatosTabla(QStringLiteral("TA_USUARIOS"), QStringLiteral("  admin "), QStringLiteral("SISTEMA"),
                            QStringLiteral("NOMBRE")),
              QStringLiteral("GM"));
    EXPECT_EQ(db.DatosTabla(QStringLiteral("TA_USUARIOS"), QStringLiteral("x' OR '1'='1"), QStringLiteral("PASSWORD"),
                            QStringLiteral("NOMBRE")),
              QString());
    EXPECT_EQ(db.DatosTabla(QStringLiteral("TA_USUARIOS"), QStringLiteral("nadie"), QStringLiteral("SISTEMA"),
                            QStringLiteral("NOMBRE")),
              QString());
    EXPECT_TRUE(person.person.shown().isEmpty());
}

TEST_F(DataAccess, ExisteTablaDBIgnoresCaseAndBlanks) {
    test::makeSqliteDatabase(erpPath, kUsers);
    DB_Dll db;
    aimAtFile(db, QStringLiteral("ana"));
    db.OpenServerADODB(false, 3, QString(), false);
    EXPECT_TRUE(db.ExisteTablaDB(QStringLiteral("  ta_usuarios ")));
    EXPECT_FALSE(db.ExisteTablaDB(QStringLiteral("TA_USUARIO")));
}

struct LogCase {
    const char* name;
    std::optional<QString> rutina;
    int answer;
    const char* line;
    const char* title;
};

class ErrorLog : public DataAccess, public ::testing::WithParamInterface<LogCase> {};

TEST_P(ErrorLog, AppendsOneLinePerAnsweredError) {
    Clock::fix(QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)));
    DB_Dll db;
    person.person.answer(GetParam().answer);
    const int a = db.TratamientoErrores(RunTimeError(3265, QStringLiteral(" No encontrado Pwd=secreto; "),
                                                     QStringLiteral("ADODB.Recordset")),
                                        18, GetParam().rutina);
    Clock::fix(QDateTime());
    EXPECT_EQ(a, GetParam().answer);
    QFile log(home.file(QStringLiteral("HXERR.LOG")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    // In the single-byte code page the other programs of the suite read: "ó" is one byte.
    EXPECT_EQ(fromWindows1252(log.readAll()).toStdString(), GetParam().line);
    EXPECT_EQ(log.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    EXPECT_EQ(person.person.shown().first().title.toStdString(), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ErrorLog,
    ::testing::Values(
        LogCase{"with_routine", QStringLiteral("VerificaCampos"), mb::Retry,
                "03-07-2026 14:05:09 Rutina: - VerificaCampos Mensaje Ha ocurrido el Siguiente Error (3265) No "
                "encontrado Pwd=****; Respondió : Reintentar\r\n",
                "ADODB.Recordset - VerificaCampos Aviso al operador!!! "},
        LogCase{"without_routine", std::nullopt, mb::Ignore,
                "03-07-2026 14:05:09 Rutina:  Mensaje Ha ocurrido el Siguiente Error (3265) No encontrado Pwd=****; "
                "Respondió : Ignorar\r\n",
                "ADODB.Recordset Aviso al operador!!! "},
        LogCase{"unknown_answer", QStringLiteral("X"), 1,
                "03-07-2026 14:05:09 Rutina: - X Mensaje Ha ocurrido el Siguiente Error (3265) No encontrado "
                "Pwd=****; Respondió : \r\n",
                "ADODB.Recordset - X Aviso al operador!!! "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataAccess, ErrorNumberZeroIsNeitherShownNorLogged) {
    DB_Dll db;
    EXPECT_EQ(db.TratamientoErrores(RunTimeError(0, QStringLiteral("nada"))), 0);
    EXPECT_TRUE(person.person.shown().isEmpty());
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("HXERR.LOG"))));
}

// Passwords blanked in any text that may reach a message or the log: connection strings of every
// form the program builds, including ODBC's braced values that hold ";".
struct SecretCase {
    const char* name;
    const char* text;
    const char* shown;
};

class Passwords : public ::testing::TestWithParam<SecretCase> {};

TEST_P(Passwords, AreBlankedWherever) {
    EXPECT_EQ(withoutPasswords(QString::fromUtf8(GetParam().text)).toStdString(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Passwords,
    ::testing::Values(
        SecretCase{"ado", "PROVIDER=SQLOLEDB;Server=s;UId=ana;Pwd=clave;", "PROVIDER=SQLOLEDB;Server=s;UId=ana;Pwd=****;"},
        SecretCase{"oracle", "Data Source=ERP;User Id=ana;Password=clave;", "Data Source=ERP;User Id=ana;Password=****;"},
        SecretCase{"blanks_and_case", "pwd = clave ;x", "pwd =****;x"},
        SecretCase{"jet", " Jet OLEDB:Database Password=clave;", " Jet OLEDB:Database Password=****;"},
        SecretCase{"odbc_braced", "DRIVER={FreeTDS};UID=ana;PWD={cla;ve};DATABASE=erp;",
                   "DRIVER={FreeTDS};UID=ana;PWD=****;DATABASE=erp;"},
        SecretCase{"odbc_braced_with_brace", "PWD={a}}b;c};UID=x", "PWD=****;UID=x"},
        SecretCase{"odbc_braced_unclosed", "PWD={a;b", "PWD=****"},
        SecretCase{"two", "Pwd=uno; Password=dos;", "Pwd=****; Password=****;"},
        SecretCase{"none", "Server=s;UId=ana;", "Server=s;UId=ana;"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
