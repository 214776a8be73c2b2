#include "cradle/CradleTokens.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QUrl>
#include <QUrlQuery>

using namespace kv;

namespace {

struct Pairing {
    int exitCode = -1;
    QString link;
    QStringList code; // the QR code's lines
    QString err;
};

Pairing pair(const test::TempHome& home, const QStringList& args) {
    const test::ToolRun r = test::runTool(QStringLiteral("kvctl"), home, QStringList{QStringLiteral("cradle"), QStringLiteral("pair")} + args);
    Pairing p{r.exitCode, {}, {}, r.err};
    QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty()) p.link = lines.takeFirst();
    p.code = lines;
    return p;
}

// The token the link's fragment carries, for the device it names.
std::optional<qint32> deviceOfLink(const test::TempHome& home, const QString& link) {
    const QUrlQuery fragment(QUrl(link).fragment(QUrl::FullyDecoded));
    return cradle::CradleTokens(home.file(cradle::CradleTokens::fileName()))
        .deviceFor(fragment.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toLatin1());
}

TEST(KvctlPair, TheLinkCarriesTheCradleTheDeviceAndAWorkingToken) {
    test::TempHome home;
    const Pairing p = pair(home, {QStringLiteral("2"), QStringLiteral("--url"), QStringLiteral("https://cradle.local:8790/")});
    ASSERT_EQ(p.exitCode, 0) << p.err.toStdString();
    EXPECT_TRUE(p.link.startsWith(QStringLiteral("https://cradle.local:8790/app/#server=https%3A%2F%2Fcradle.local%3A8790&device=2&token=")))
        << p.link.toStdString();
    EXPECT_EQ(deviceOfLink(home, p.link), 2);
    // The code is a square of half-block lines: as wide as it is tall in modules.
    ASSERT_GT(p.code.size(), 10);
    for (const QString& line : p.code)
        EXPECT_EQ(line.size(), p.code.first().size());
    EXPECT_NEAR(p.code.first().size(), 2 * p.code.size(), 1);
}

TEST(KvctlPair, ASecondLinkNeedsRenewAndTheOldTokenThenStops) {
    test::TempHome home;
    const Pairing first = pair(home, {QStringLiteral("1")});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.link.startsWith(QStringLiteral("http://127.0.0.1:8790/app/#"))) << first.link.toStdString();

    const Pairing refused = pair(home, {QStringLiteral("1")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.link.isEmpty());
    EXPECT_EQ(deviceOfLink(home, first.link), 1);

    const Pairing renewed = pair(home, {QStringLiteral("1"), QStringLiteral("--renew")});
    ASSERT_EQ(renewed.exitCode, 0) << renewed.err.toStdString();
    EXPECT_EQ(deviceOfLink(home, renewed.link), 1);
    EXPECT_EQ(deviceOfLink(home, first.link), std::nullopt);
}

class KvctlPairRefuses : public ::testing::TestWithParam<QStringList> {};

TEST_P(KvctlPairRefuses, AsAUsageErrorAndMakesNoToken) {
    test::TempHome home;
    const Pairing p = pair(home, GetParam());
    EXPECT_EQ(p.exitCode, 2) << p.err.toStdString();
    EXPECT_TRUE(p.link.isEmpty());
    EXPECT_TRUE(cradle::CradleTokens(home.file(cradle::CradleTokens::fileName())).devices().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, KvctlPairRefuses,
    ::testing::Values(QStringList{QStringLiteral("0")}, QStringList{QStringLiteral("uno")},
                      QStringList{QStringLiteral("1"), QStringLiteral("--url"), QStringLiteral("ftp://cradle.local")},
                      QStringList{QStringLiteral("1"), QStringLiteral("--url"), QStringLiteral("cradle.local:8790")},
                      QStringList{QStringLiteral("1"), QStringLiteral("--url"), QStringLiteral("http://cradle.local/?a=1")}));

} // namespace
