#include "TestEnv.h"
#include "app/AppHome.h"
#include "app/SettingsFile.h"
#include "settings/DeviceSettings.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace kv;
using namespace kv::settings;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(DeviceSettings, NoFileGivesEveryDefault) {
    test::TempHome home;
    EXPECT_EQ(deviceDisplayName(3), QStringLiteral("Nº 3"));
    EXPECT_EQ(readDevice(3, Reparto), QString());
    EXPECT_EQ(storePath(), home.file(QStringLiteral("kvpalmsync.mdb")));
    EXPECT_FALSE(solicitaBase());
    EXPECT_EQ(readPosition(QStringLiteral("width"), 9600.0f), 9600.0f);
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("CN000pr.INI")))) << "reading must not create the file";
}

struct StorePathCase {
    const char* name;
    const char* setting; // nullptr: no BaseDeDatos line
    const char* expected; // "~/" is the application folder
};

class StorePaths : public ::testing::TestWithParam<StorePathCase> {};

TEST_P(StorePaths, RelativeOnesAreTheApplicationFoldersOwn) {
    test::TempHome home;
    if (GetParam().setting)
        writeFile(home.file(QStringLiteral("CN000pr.INI")), QByteArray("[General]\nBaseDeDatos=") + GetParam().setting);
    QString expected = QString::fromUtf8(GetParam().expected);
    if (expected.startsWith(QLatin1String("~/"))) expected = home.file(expected.mid(2));
    EXPECT_EQ(storePath(), expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, StorePaths,
                         ::testing::Values(StorePathCase{"Missing", nullptr, "~/kvpalmsync.mdb"},
                                           StorePathCase{"Relative", "mi.mdb", "~/mi.mdb"},
                                           StorePathCase{"RelativeFolder", "datos/mi.mdb", "~/datos/mi.mdb"},
                                           StorePathCase{"Absolute", "/srv/kv/mi.mdb", "/srv/kv/mi.mdb"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AppHome, WithoutKvcontrolHomeTheDesktopDataFolderHoldsIt) {
    test::TempHome home; // restores KVCONTROL_HOME when it goes
    const QByteArray savedXdg = qgetenv("XDG_DATA_HOME"), savedHome = qgetenv("HOME");
    qunsetenv("KVCONTROL_HOME");
    qputenv("HOME", home.file(QStringLiteral("user")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.file(QStringLiteral("xdg")).toLocal8Bit());
    EXPECT_EQ(AppHome::folder(), home.file(QStringLiteral("xdg/kvcontrol/")));
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(AppHome::folder(), home.file(QStringLiteral("user/.local/share/kvcontrol/")));
    qputenv("HOME", savedHome);
    if (savedXdg.isNull()) qunsetenv("XDG_DATA_HOME");
    else qputenv("XDG_DATA_HOME", savedXdg);
}

TEST(DeviceSettings, SectionNameCarriesTheNumberWithoutPadding) {
    EXPECT_EQ(deviceSection(12), QStringLiteral("PARAMETROS PALM Nº 12"));
    EXPECT_EQ(deviceSection(1), QStringLiteral("PARAMETROS PALM Nº 1"));
}

TEST(DeviceSettings, DeviceValuesAreTrimmedGeneralValuesAreNot) {
    test::TempHome home;
    writeFile(home.file(QStringLiteral("CN000pr.INI")),
              "[General]\r\nBaseDeDatos=\"  /datos/kvpalmsync.mdb \"\r\nSolicitaBase=SI\r\n"
              "[PARAMETROS PALM Nº 2]\r\nNOMBRE=\"   \"\r\nREPARTO=\" 3,7 \"\r\nCONTRASEÑA=\" s3creta \"\r\n");
    EXPECT_EQ(storePath(), QStringLiteral("  /datos/kvpalmsync.mdb "));
    EXPECT_TRUE(solicitaBase());
    EXPECT_EQ(deviceDisplayName(2), QString()) << "a name of blanks gives an empty second line";
    EXPECT_EQ(readDevice(2, Reparto), QStringLiteral("3,7"));
    EXPECT_EQ(readDeviceConnection(2).contrasena, QStringLiteral("s3creta"));
    EXPECT_EQ(readDeviceConnection(5).servidor, QString()) << "a missing section reads as empty keys";
}

TEST(DeviceSettings, OnlyAMissingNameReadsAsTheNumber) {
    test::TempHome home;
    writeFile(home.file(QStringLiteral("CN000pr.INI")),
              "[PARAMETROS PALM Nº 7]\nREPARTO=1\n[PARAMETROS PALM Nº 8]\nNOMBRE=   \n[PARAMETROS PALM Nº 9]\nNOMBRE=\n");
    EXPECT_EQ(deviceDisplayName(7), QStringLiteral("Nº 7"));
    EXPECT_EQ(deviceDisplayName(8), QString()) << "blanks typed in the file";
    EXPECT_EQ(deviceDisplayName(9), QString());
    writeDevice(7, Nombre, QStringLiteral("  "));
    EXPECT_EQ(deviceDisplayName(7), QString());
}

TEST(DeviceSettings, WritesAreStoredUntrimmedAndReadBackTrimmed) {
    test::TempHome home;
    writeDevice(4, Cliente, QStringLiteral(" C1,C2 "));
    EXPECT_EQ(LeerIni(File, deviceSection(4), Cliente), QStringLiteral(" C1,C2 "));
    EXPECT_EQ(readDevice(4, Cliente), QStringLiteral("C1,C2"));
}

struct PositionCase {
    const char* name;
    const char* stored;
    std::optional<float> expected;
};

class Positions : public ::testing::TestWithParam<PositionCase> {};

TEST_P(Positions, ReadAsSinglePrecisionTwips) {
    test::TempHome home;
    GrabarIni(File, Posicionamiento, QStringLiteral("left"), QString::fromLatin1(GetParam().stored));
    EXPECT_EQ(readPosition(QStringLiteral("left"), 1.0f), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, Positions,
                         ::testing::Values(PositionCase{"integral", "2880", 2880.0f},
                                           PositionCase{"fraction", "1234.5", 1234.5f},
                                           PositionCase{"decimal_comma", "1234,5", 1234.5f},
                                           PositionCase{"negative", "-120", -120.0f},
                                           PositionCase{"not_a_number", "ancho", std::nullopt},
                                           PositionCase{"empty", "", std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceSettings, PositionRoundTripKeepsSinglePrecision) {
    test::TempHome home;
    writePosition(QStringLiteral("Height"), 5670.25f);
    EXPECT_EQ(LeerIni(File, Posicionamiento, QStringLiteral("Height")), QStringLiteral("5670.25"));
    EXPECT_EQ(readPosition(QStringLiteral("Height"), 0.0f), 5670.25f);
    writePosition(QStringLiteral("width"), 1.0f / 3.0f);
    EXPECT_EQ(readPosition(QStringLiteral("width"), 0.0f), 1.0f / 3.0f);
}

} // namespace
