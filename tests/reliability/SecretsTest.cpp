// Passwords reach the program in the launch string and the settings file; they go to the
// engine and nowhere else: not to kvctl's output when the connection fails, not to the error log.
#include "settings/DeviceSettings.h"
#include "TestEnv.h"
#include "Workstation.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace kv;

namespace {

const QString kSecret = QStringLiteral("Cl4v3-Secr3ta");

struct FailedConnection {
    const char* name;
    QString launch; // "%P" stands for the password, "%H" for the application folder
};

class PasswordNeverShown : public ::testing::TestWithParam<FailedConnection> {};

TEST_P(PasswordNeverShown, WhenTheConnectionFails) {
    test::TempHome home;
    QString launch = GetParam().launch;
    launch.replace(QStringLiteral("%P"), kSecret).replace(QStringLiteral("%H"), home.path());
    for (const QString& onError :
         {QStringLiteral("abort"), QStringLiteral("retry"), QStringLiteral("ignore")}) {
        const test::ToolRun r =
            test::runTool(QStringLiteral("kvctl"), home,
                          {QStringLiteral("--launch"), launch, QStringLiteral("--on-error"), onError,
                           QStringLiteral("devices")},
                          60000);
        EXPECT_FALSE(r.crashed) << onError.toStdString();
        EXPECT_NE(r.exitCode, 0) << onError.toStdString();
        EXPECT_FALSE(r.out.contains(kSecret)) << r.out.toStdString();
        EXPECT_FALSE(r.err.contains(kSecret)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("no ERP connection"))) << r.err.toStdString();
    }
    // Whatever the program left in its folder holds no password either.
    for (const QString& name : QDir(home.path()).entryList(QDir::Files)) {
        QFile file(home.file(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(kSecret.toUtf8())) << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engines, PasswordNeverShown,
    ::testing::Values(
        FailedConnection{
            "postgresql_refused",
            QStringLiteral("@Motor=postgresql;@Server=127.0.0.1,1;@DbName=erp;@Usuario=ana;@Password=%P;")},
        FailedConnection{
            "sqlserver_refused",
            QStringLiteral("@Server=127.0.0.1;@DbName=erp;@Usuario=ana;@Password=%P;@Motor=sqlserver;")},
        FailedConnection{"oracle_without_driver",
                         QStringLiteral("@Server=#ORA1;@DbName=erp;@Usuario=ana;@Password=%P;")},
        FailedConnection{
            "sqlite_missing_file",
            QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%H/nada.db;@Usuario=ana;@Password=%P;")},
        FailedConnection{
            "postgresql_unknown_host",
            QStringLiteral(
                "@Motor=postgresql;@Server=nohost.invalid;@DbName=erp;@Usuario=ana;@Password=%P;")}),
    [](const auto& info) { return std::string(info.param.name); });

// A device's own ERP password lives in the settings file: listing the devices never shows it.
TEST(Passwords, DevicePasswordsStayInTheSettingsFile) {
    test::Workstation w;
    w.setDevice(2, settings::Contrasena, kSecret);
    w.setDevice(2, settings::Nombre, QStringLiteral("Ruta Sur"));
    for (const QStringList& command : {QStringList{QStringLiteral("devices")},
                                       QStringList{QStringLiteral("filters"), QStringLiteral("2")}}) {
        const test::ToolRun r = w.kvctl(command);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_FALSE((r.out + r.err).contains(kSecret)) << (r.out + r.err).toStdString();
    }
    const QFile settings(w.home.file(settings::File));
    EXPECT_EQ(settings.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

} // namespace
