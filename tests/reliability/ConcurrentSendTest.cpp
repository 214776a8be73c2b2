// Two sends at once from two kvctl processes: one at a time, the other refused with its reason;
// the store always holds one device's whole export, never a mix.
#include "settings/DeviceSettings.h"
#include "Workstation.h"

#include <cctype>
#include <gtest/gtest.h>
#include <QProcess>
#include <vector>

using namespace kv;

namespace {

class ConcurrentSends : public ::testing::Test {
protected:
    void SetUp() override {
        const QStringList vendors = w.vendors();
        ASSERT_GE(vendors.size(), 2);
        w.setDevice(1, settings::Reparto, vendors[0]);
        w.setDevice(2, settings::Reparto, vendors[1]);
    }
    // The store after a send of `device` alone.
    QMap<QString, QStringList> exportOf(int device) {
        const test::ToolRun r =
            w.kvctl({QStringLiteral("send"), QString::number(device), QStringLiteral("--no-wait")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return test::masterTables(w.storePath);
    }
    static bool refusedAsBusy(const test::ToolRun& r) {
        return r.exitCode == 1 && r.err.contains(QStringLiteral("another send or receive is under way")) &&
               r.err.contains(QStringLiteral("Hay otro envío o recepción de datos en curso"));
    }
    test::Workstation w;
};

// While a send waits for its sync, every other wait (and a change of the conduit) is refused at
// once and changes nothing: not the store, not the conduit's registration, not the history.
class SecondWait : public ConcurrentSends, public ::testing::WithParamInterface<std::vector<const char*>> {};

TEST_P(SecondWait, WhileASendWaitsIsRefusedAndChangesNothing) {
    const auto device1 = exportOf(1);
    const auto device2 = exportOf(2);
    ASSERT_NE(device1, device2);

    QProcess first;
    first.start(test::programPath(QStringLiteral("kvctl")),
                w.kvctlArguments({QStringLiteral("send"), QStringLiteral("1")}));
    QByteArray firstOut;
    ASSERT_TRUE(test::waitForOutput(first, firstOut, "Del Dispositivo M")) << firstOut.toStdString();
    EXPECT_EQ(test::masterTables(w.storePath), device1);
    const QString registry = w.kvctl({QStringLiteral("conduit"), QStringLiteral("show")}).out;
    const QString history = w.kvctl({QStringLiteral("history"), QStringLiteral("--format"), QStringLiteral("tsv")}).out;

    QStringList second;
    for (const char* word : GetParam())
        second << QString::fromLatin1(word);
    const test::ToolRun refused = w.kvctl(second);
    EXPECT_TRUE(refusedAsBusy(refused))
        << refused.exitCode << refused.out.toStdString() << refused.err.toStdString();
    EXPECT_EQ(test::masterTables(w.storePath), device1) << "the waiting send's data stays for its sync";
    EXPECT_EQ(w.kvctl({QStringLiteral("conduit"), QStringLiteral("show")}).out, registry);
    EXPECT_EQ(w.kvctl({QStringLiteral("history"), QStringLiteral("--format"), QStringLiteral("tsv")}).out, history)
        << "a refusal is no job of the history";

    // The cradle button, as the README says: the first send ends well and the next one goes through.
    const test::ToolRun sync =
        test::runTool(QStringLiteral("kvhandheld"), w.home, {QStringLiteral("hotsync"), w.handheldPath});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(w.kvctl({QStringLiteral("send"), QStringLiteral("2"), QStringLiteral("--no-wait")}).exitCode,
              0);
    EXPECT_EQ(test::masterTables(w.storePath), device2);
}

INSTANTIATE_TEST_SUITE_P(Reliability, SecondWait,
                         ::testing::Values(std::vector<const char*>{"send", "2", "--no-wait"},
                                           std::vector<const char*>{"receive", "1"},
                                           std::vector<const char*>{"conduit", "wait"},
                                           std::vector<const char*>{"conduit", "register-receive"},
                                           std::vector<const char*>{"conduit", "disable"}),
                         [](const auto& info) {
                             std::string name;
                             for (const char* w : info.param)
                                 for (const char* c = w; *c; ++c)
                                     name += std::isalnum(*c) ? *c : '_';
                             return name;
                         });

// Started together, again and again: each send runs whole or is refused, and the store is one
// device's export.
TEST_F(ConcurrentSends, StartedTogetherTheStoreHoldsOneWholeExport) {
    const auto device1 = exportOf(1);
    const auto device2 = exportOf(2);
    for (int round = 0; round < 4; ++round) {
        QProcess a, b;
        a.start(test::programPath(QStringLiteral("kvctl")),
                w.kvctlArguments({QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")}));
        b.start(test::programPath(QStringLiteral("kvctl")),
                w.kvctlArguments({QStringLiteral("send"), QStringLiteral("2"), QStringLiteral("--no-wait")}));
        ASSERT_TRUE(a.waitForFinished(120000) && b.waitForFinished(120000));
        int done = 0;
        for (QProcess* p : {&a, &b}) {
            test::ToolRun r;
            r.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
            r.out = QString::fromUtf8(p->readAllStandardOutput());
            r.err = QString::fromUtf8(p->readAllStandardError());
            if (r.exitCode == 0) {
                ++done;
            } else {
                EXPECT_TRUE(refusedAsBusy(r)) << r.exitCode << r.out.toStdString() << r.err.toStdString();
            }
        }
        EXPECT_GE(done, 1);
        const auto now = test::masterTables(w.storePath);
        EXPECT_TRUE(now == device1 || now == device2) << "round " << round << ": a mix of two exports";
        EXPECT_EQ(test::integrity(w.storePath), QStringLiteral("ok"));
    }
}

} // namespace
