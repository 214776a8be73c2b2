#include "TestEnv.h"
#include "app/LaunchSource.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace kv;

namespace {

const char* kFile = "@Motor=sqlite;@DbName=/srv/erp.db;@Usuario=ana;@Password=s3creta;\n";

struct SourceCase {
    const char* name;
    const char* argument;    // --launch
    int fileMode;            // 0: no --launch-file
    const char* variable;    // KVCONTROL_LAUNCH, nullptr: unset
    const char* password;    // KVCONTROL_PASSWORD, nullptr: unset
    const char* expected;    // the launch string; nullptr: refused
    const char* reason = ""; // a word of the refusal
};

class LaunchSources : public ::testing::TestWithParam<SourceCase> {
protected:
    void SetUp() override {
        saved[0] = qgetenv("KVCONTROL_LAUNCH");
        saved[1] = qgetenv("KVCONTROL_PASSWORD");
    }
    void TearDown() override {
        restore("KVCONTROL_LAUNCH", saved[0]);
        restore("KVCONTROL_PASSWORD", saved[1]);
    }
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull()) qunsetenv(name);
        else qputenv(name, value);
    }
    static void set(const char* name, const char* value) {
        if (value) qputenv(name, value);
        else qunsetenv(name);
    }
    QByteArray saved[2];
};

TEST_P(LaunchSources, TheFirstGivenWinsAndAPasswordFileMustBeOwnerOnly) {
    const SourceCase& c = GetParam();
    test::TempHome home;
    LaunchSource source{QString::fromUtf8(c.argument), QString()};
    if (c.fileMode) {
        source.file = home.file(QStringLiteral("launch"));
        QFile f(source.file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kFile);
        f.close();
        ASSERT_TRUE(f.setPermissions(QFileDevice::Permissions(c.fileMode)));
    }
    set("KVCONTROL_LAUNCH", c.variable);
    set("KVCONTROL_PASSWORD", c.password);

    const ResolvedLaunch r = resolveLaunch(source);
    if (c.expected) {
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(r.text, QString::fromUtf8(c.expected));
    } else {
        EXPECT_TRUE(r.text.isEmpty());
        EXPECT_TRUE(r.error.contains(QLatin1String(c.reason))) << r.error.toStdString();
    }
}

constexpr int kOwnerOnly = 0x6000; // QFileDevice::ReadOwner | WriteOwner
constexpr int kWorldReadable = 0x6444;

INSTANTIATE_TEST_SUITE_P(
    Sources, LaunchSources,
    ::testing::Values(
        SourceCase{"ArgumentWins", "@Server=a;", kOwnerOnly, "@Server=b;", nullptr, "@Server=a;"},
        SourceCase{"OwnerOnlyFile", "", kOwnerOnly, "@Server=b;", nullptr,
                   "@Motor=sqlite;@DbName=/srv/erp.db;@Usuario=ana;@Password=s3creta;"},
        SourceCase{"WorldReadableFileRefused", "", kWorldReadable, nullptr, nullptr, nullptr, "owner-only"},
        SourceCase{"Variable", "", 0, "@Server=b;@Usuario=ana;", nullptr, "@Server=b;@Usuario=ana;"},
        SourceCase{"NothingGiven", "", 0, nullptr, "x", ""},
        SourceCase{"PasswordAddedWhenMissing", "@Server=a;@Usuario=ana", 0, nullptr, "s3creta",
                   "@Server=a;@Usuario=ana;@Password=s3creta;"},
        SourceCase{"PasswordGivenStays", "@Server=a;@Password=mia;", 0, nullptr, "s3creta", "@Server=a;@Password=mia;"},
        SourceCase{"PasswordWithSeparatorRefused", "@Server=a;", 0, nullptr, "a;b", nullptr, "separator"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LaunchSource, AMissingFileSaysSo) {
    const ResolvedLaunch r = resolveLaunch({QString(), QStringLiteral("/nonexistent/launch")});
    EXPECT_TRUE(r.error.contains(QLatin1String("/nonexistent/launch"))) << r.error.toStdString();
}

} // namespace
