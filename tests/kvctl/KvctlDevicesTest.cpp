#include "TestEnv.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace kv;

namespace {

test::ToolRun kvctl(const QStringList& args) {
    return test::runTool(QStringLiteral("kvctl"), args);
}

class KvctlDevices : public ::testing::Test {
protected:
    void SetUp() override {
        erp = home.file(QStringLiteral("erp.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(erp);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            q.exec(QStringLiteral("CREATE TABLE ta_configuracion (CLAVE TEXT, VALOR TEXT, VALORAUX TEXT)"));
            q.exec(QStringLiteral("INSERT INTO ta_configuracion VALUES ('GM_CANT_DISPOSITIVOS', '3', NULL)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        QFile ini(home.file(QStringLiteral("CN000pr.INI")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[PARAMETROS PALM Nº 2]\nNOMBRE= Ruta Norte \n[PARAMETROS PALM Nº 3]\nNOMBRE=   \n");
    }
    // One statement on the ERP file, before kvctl runs.
    bool onErp(const QString& sql) {
        bool done = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("change"));
            db.setDatabaseName(erp);
            done = db.open() && QSqlQuery(db).exec(sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("change"));
        return done;
    }
    QStringList base() const {
        return {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;").arg(erp)};
    }
    test::TempHome home;
    QString erp;
};

TEST_F(KvctlDevices, ListsEveryDeviceWithItsDisplayName) {
    const test::ToolRun r = kvctl(base() << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // A name of blanks is an empty name; only a device never named is "Nº n".
    EXPECT_EQ(r.out, QStringLiteral("1\tNº 1\n2\tRuta Norte\n3\t\n"));
    EXPECT_TRUE(QFile::exists(home.file(QStringLiteral("consultas.hxw")))) << "start-up writes the lookup map file";
}

// Error prompts and the answers given go to stderr: the list on stdout stays the list.
TEST_F(KvctlDevices, ErrorPromptsAndTheirAnswersGoToStderr) {
    ASSERT_TRUE(onErp(QStringLiteral("DROP TABLE ta_configuracion")));
    const test::ToolRun r = kvctl(QStringList{QStringLiteral("--on-error"), QStringLiteral("ignore")} + base()
                                  << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Aviso al operador!!!: ")) &&
                r.err.contains(QStringLiteral("\n  Answer: Ignorar\n")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.isEmpty());
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(line.contains(QLatin1Char('\t')) && line.at(0).isDigit()) << r.out.toStdString();
}

TEST_F(KvctlDevices, NoConnectionIsAFailureWithAReason) {
    const test::ToolRun r = kvctl({QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                         QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;").arg(home.file(QStringLiteral("no.db"))),
                         QStringLiteral("devices")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no ERP connection"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("no.db"))));
}

// A scheduled job reads the launch string from a file or the environment; the password file must
// be owner-only, and the variable fills in a missing password.
TEST_F(KvctlDevices, TheLaunchStringFromAFileOrTheEnvironment) {
    const QString launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;").arg(erp);
    const QString file = home.file(QStringLiteral("launch"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(launch.toUtf8() + "\n");
    f.close();
    const QStringList args{QStringLiteral("--home"), home.path(), QStringLiteral("--launch-file"), file,
                           QStringLiteral("devices")};

    ASSERT_TRUE(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    const test::ToolRun open = kvctl(args);
    EXPECT_EQ(open.exitCode, 1);
    EXPECT_TRUE(open.out.isEmpty());
    EXPECT_TRUE(open.err.contains(QStringLiteral("must be owner-only"))) << open.err.toStdString();

    ASSERT_TRUE(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const test::ToolRun owned = kvctl(args);
    EXPECT_EQ(owned.exitCode, 0) << owned.err.toStdString();
    EXPECT_TRUE(owned.out.startsWith(QStringLiteral("1\tNº 1\n"))) << owned.out.toStdString();

    qputenv("KVCONTROL_LAUNCH", launch.toUtf8());
    const test::ToolRun fromEnvironment = kvctl({QStringLiteral("--home"), home.path(), QStringLiteral("devices")});
    qunsetenv("KVCONTROL_LAUNCH");
    EXPECT_EQ(fromEnvironment.out, owned.out) << fromEnvironment.err.toStdString();
}

TEST_F(KvctlDevices, AnAbsurdCountListsTheFirstThousandAndSaysWhyOnStderr) {
    ASSERT_TRUE(onErp(QStringLiteral("UPDATE ta_configuracion SET VALOR = '999999999'")));
    const test::ToolRun r = kvctl(base() << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1000);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("1000\tNº 1000\n")));
    EXPECT_EQ(r.err.count(QStringLiteral("999999999")), 1) << r.err.toStdString();
}

} // namespace
