#include "app/LaunchString.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct KeyCase {
    const char* name;
    const char* text;
    const char* key;
    const char* expected;
};

class LaunchKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(LaunchKeys, ReadAsTheSuiteWritesThem) {
    const auto& c = GetParam();
    EXPECT_EQ(launchValue(QString::fromUtf8(c.text), QString::fromUtf8(c.key), QStringLiteral("<absent>")).toStdString(),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LaunchKeys,
    ::testing::Values(
        KeyCase{"plain", "@Server=srv1;@DbName=erp;", "@Server", "srv1"},
        KeyCase{"any_case", "@SERVER=srv1;", "@server", "srv1"},
        KeyCase{"blanks_around", " @DbName =  erp  ; ", "@DbName", "erp"},
        KeyCase{"equals_inside_value_removed", "@Password=a=b;", "@Password", "ab"},
        KeyCase{"no_semicolon_after_key", "@Server=srv1;@Usuario=ana", "@Usuario", ""},
        KeyCase{"absent", "@Server=srv1;", "@Caja", "<absent>"},
        KeyCase{"logged_user_first_is_skipped", " ; pexora@ ; @UsuarioLogeado = jefe; @usuario=ana;", "@Usuario", "ana"},
        KeyCase{"only_logged_user", "@UsuarioLogeado = jefe;", "@Usuario", "<absent>"},
        KeyCase{"hash_server_kept_raw", "@Server=#ORA1;", "@Server", "#ORA1"},
        KeyCase{"empty_value", "@Server=;@DbName=x;", "@Server", ""},
        KeyCase{"value_with_non_ascii", "@Usuario=Muñoz;", "@Usuario", "Muñoz"},
        KeyCase{"key_holding_a_separator", "@A;B=x;y;", "@A;B", "x"}),
    [](const auto& info) { return std::string(info.param.name); });

// Launch strings of ten kilobytes: read whole, or as far as their ";" allows, in one pass.
TEST(LaunchString, TenKilobytesAreReadWhole) {
    const QString big(10 * 1024, QLatin1Char('p'));
    const LaunchValues v = readLaunchString(QStringLiteral("@Server=s;@Password=") + big + QStringLiteral(";@Caja=4;"));
    EXPECT_EQ(v.password, big);
    EXPECT_EQ(v.caja, QStringLiteral("4"));
    EXPECT_EQ(readLaunchString(QStringLiteral("@Server=") + big).server, QString()) << "no \";\" after it";
    const QString separators(10 * 1024, QLatin1Char(';'));
    EXPECT_EQ(readLaunchString(separators + QStringLiteral("@DbName=erp;")).dbName, QStringLiteral("erp"));
    QString keys;
    for (int i = 0; i < 1024; ++i) keys += QStringLiteral("@Server ");
    EXPECT_EQ(readLaunchString(keys + QStringLiteral("@Server=s;")).server, QStringLiteral("s"));
}

TEST(LaunchString, WholeCommandLineIsTheLaunchString) {
    // A shell that split the string at its blanks still gives the same values.
    const QString joined = launchStringFromArguments(
        {QStringLiteral("@Server=srv;"), QStringLiteral("@DbName=erp;"), QStringLiteral("@Usuario"), QStringLiteral("="),
         QStringLiteral("ana;")});
    EXPECT_EQ(joined, QStringLiteral("@Server=srv; @DbName=erp; @Usuario = ana;"));
    EXPECT_EQ(readLaunchString(joined).user, QStringLiteral("ana"));
    EXPECT_EQ(launchStringFromArguments({}), QString());
}

TEST(LaunchString, DefaultsWhenKeysAreMissing) {
    const LaunchValues v = readLaunchString(QString());
    EXPECT_TRUE(v.server.isEmpty());
    EXPECT_EQ(v.caja, QStringLiteral("1"));
}

TEST(LaunchString, WrittenStringIsReadBackWithTheConnectedValues) {
    LaunchContext c{QStringLiteral("srv"), QStringLiteral("erp"), QStringLiteral("ana"), QStringLiteral("p=w"),
                    QStringLiteral("jefe"), QStringLiteral("2"), QStringLiteral("sqlserver")};
    const QString s = buildLaunchString(c, QStringLiteral("extra"));
    EXPECT_EQ(s, QStringLiteral(" ; @server=srv; @dbname=erp; @usuario=ana; @Password=p=w; @ParametroAdicional=extra; "
                                "pexora@ ; @UsuarioLogeado = jefe; @Caja=2;"));
    const LaunchValues v = readLaunchString(s);
    EXPECT_EQ(v.user, QStringLiteral("ana"));
    EXPECT_EQ(v.caja, QStringLiteral("2"));
    c.motor = QStringLiteral("postgresql");
    EXPECT_EQ(readLaunchString(buildLaunchString(c, {})).motor, QStringLiteral("postgresql"));
}

struct ServerCase {
    const char* in;
    const char* out;
};

class Servers : public ::testing::TestWithParam<ServerCase> {};

TEST_P(Servers, KeepOnlyTheHost) {
    EXPECT_EQ(NormalizarServidor(QString::fromLatin1(GetParam().in)).toStdString(), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Forms, Servers,
                         ::testing::Values(ServerCase{"srv1", "srv1"}, ServerCase{"srv1:1433", "srv1"},
                                           ServerCase{"tcp/srv1", "srv1"}, ServerCase{"tcp/srv1:1433", "srv1"},
                                           ServerCase{"srv1,5432", "srv1,5432"}, ServerCase{"", ""}));

} // namespace
