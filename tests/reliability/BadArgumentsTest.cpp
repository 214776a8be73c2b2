// What a person may type or leave in kvctl's way: device numbers that do not exist, launch
// strings that are cut, odd or huge, and a settings file that is not what it should be. Each
// ends with the reason on stderr and changes nothing.
#include "HandheldTestSupport.h"
#include "Workstation.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace kv;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class BadArguments : public ::testing::Test {
protected:
    test::Workstation w;
};

TEST_F(BadArguments, DeviceNumbersOutsideTheFleetAreRefusedAndChangeNothing) {
    const auto storeBefore = test::snapshot(w.storePath);
    for (const QString& command :
         {QStringLiteral("send"), QStringLiteral("receive"), QStringLiteral("filters")}) {
        for (const QString& device :
             {QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("4"), QStringLiteral("4294967297"),
              QStringLiteral("2x"), QStringLiteral(" ")}) {
            QStringList args{command, device};
            if (command == QLatin1String("send")) args << QStringLiteral("--no-wait");
            const test::ToolRun r = w.kvctl(args, 30000);
            EXPECT_EQ(r.exitCode, 2) << command.toStdString() << ' ' << device.toStdString();
            EXPECT_EQ(r.err, QStringLiteral("kvctl %1: device \"%2\" does not exist; devices are 1 to 3\nUsage: kvctl %1 "
                                            "[OPTIONS] N\n")
                                 .arg(command, device));
        }
    }
    EXPECT_EQ(test::snapshot(w.storePath), storeBefore);
    EXPECT_FALSE(QFile::exists(w.home.file(QStringLiteral("kvconduit.ini")))) << "no conduit was registered";
}

struct LaunchCase {
    const char* name;
    QString launch; // "%E" stands for the ERP file
    int exitCode;
};

class LaunchStrings : public BadArguments, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchStrings, ConnectOrSayWhyNot) {
    QString launch = GetParam().launch;
    launch.replace(QStringLiteral("%E"), w.erpPath);
    const test::ToolRun r =
        test::runTool(QStringLiteral("kvctl"), w.home,
                      {QStringLiteral("--launch"), launch, QStringLiteral("devices")}, 30000);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err.toStdString();
    const bool said = GetParam().exitCode == 0 ? r.out.startsWith(QStringLiteral("1\t"))
                                               : r.err.contains(QStringLiteral("no ERP connection was made"));
    EXPECT_TRUE(said) << r.out.toStdString() << r.err.toStdString();
}

const QString kTenKilobytes(10 * 1024, QLatin1Char('x'));

INSTANTIATE_TEST_SUITE_P(
    Odd, LaunchStrings,
    ::testing::Values(
        LaunchCase{"without_semicolons",
                   QStringLiteral("@Motor=sqlite @Server=local @DbName=%E @Usuario=ana"), 1},
        LaunchCase{"last_value_without_semicolon", QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%E"),
                   1},
        LaunchCase{"equals_in_values_dropped",
                   QStringLiteral("@Motor==sqlite;@Server=lo=cal;@DbName==%E=;@Usuario=a=na;"), 0},
        LaunchCase{"ten_kilobytes_of_other_keys",
                   QStringLiteral("@Nota=") + kTenKilobytes +
                       QStringLiteral(";@Motor=sqlite;@Server=local;@DbName=%E;"),
                   0},
        LaunchCase{"ten_kilobytes_without_semicolon", QStringLiteral("@Server=") + kTenKilobytes, 1},
        LaunchCase{"ten_kilobyte_database_name",
                   QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%E") + kTenKilobytes +
                       QStringLiteral(";"),
                   1},
        LaunchCase{"ten_kilobytes_of_separators", QString(10 * 1024, QLatin1Char(';')), 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SettingsCase {
    const char* name;
    QByteArray bytes;
    QString devices; // kvctl devices' output
};

class OddSettings : public BadArguments, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(OddSettings, AreReadForWhatTheyHoldAndLeftAsTheyAre) {
    const QString path = w.home.file(QStringLiteral("CN000pr.INI"));
    writeFile(path, GetParam().bytes);
    for (const QStringList& command :
         {QStringList{QStringLiteral("devices")},
          QStringList{QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")}}) {
        const test::ToolRun r = w.kvctl(command);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        if (command.first() == QLatin1String("devices")) {
            EXPECT_EQ(r.out, GetParam().devices);
        }
    }
    EXPECT_EQ(fileBytes(path), GetParam().bytes) << "the settings file was rewritten";
}

INSTANTIATE_TEST_SUITE_P(
    Files, OddSettings,
    ::testing::Values(SettingsCase{"megabyte_lines",
                                   "[PARAMETROS PALM N\xc2\xba 2]\nNOTA=" + QByteArray(1024 * 1024, 'n') +
                                       "\nNOMBRE=Ruta\n" + QByteArray(1024 * 1024, '[') + "\n",
                                   QStringLiteral("1\tNº 1\n2\tRuta\n3\tNº 3\n")},
                      SettingsCase{"mixed_encodings",
                                   "[PARAMETROS PALM N\xba 1]\r\nNOMBRE=Ca\xf1"
                                   "ada\r\n[PARAMETROS PALM N\xc2\xba 3]\r\nNOMBRE=Ñandú\r\n",
                                   QStringLiteral("1\tCañada\n2\tNº 2\n3\tÑandú\n")}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
