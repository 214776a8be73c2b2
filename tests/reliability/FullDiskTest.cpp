// No room left while the store is written: kvctl send run with a file-size limit (the kernel
// refuses every write past it, as on a full disk). Each step is one transaction: the step that
// meets the limit ends in "Error" with its table as it was before it, and the store stays sound.
#include "settings/DeviceSettings.h"
#include "Workstation.h"

#include <csignal>
#include <gtest/gtest.h>
#include <QFileInfo>
#include <QProcess>
#include <sys/resource.h>

using namespace kv;

namespace {

// kvctl with every file it writes limited to `bytes`. The limit's signal is ignored, so a write
// past it fails with an error the program sees, as a full disk's would.
test::ToolRun kvctlLimited(const test::Workstation& w, const QStringList& command, qint64 bytes) {
    QProcess p;
    p.setChildProcessModifier([bytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(test::programPath(QStringLiteral("kvctl")), w.kvctlArguments(command));
    p.closeWriteChannel();
    test::ToolRun r;
    r.crashed = !p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit;
    r.exitCode = r.crashed ? -1 : p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The steps kvctl reports as failed.
QStringList failedSteps(const test::ToolRun& r) {
    const QString marker = QStringLiteral("export steps failed: ");
    const qsizetype at = r.err.indexOf(marker);
    if (at < 0) return {};
    return r.err.mid(at + marker.size()).section(QLatin1Char('\n'), 0, 0).split(QStringLiteral(", "));
}

// The store table each step description fills.
QString tableOf(const QString& step) {
    return step == QLatin1String("TA_VENDEDOR") ? QStringLiteral("TA_VENDEDORES") : step;
}

class FullDisk : public ::testing::Test {
protected:
    test::Workstation w{test::Workstation::Sizes{1500, 300, 4}};
    const QStringList send{QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")};
};

// Not even the rollback journal fits: every step fails and the store is as it was, byte for byte
// in what it holds.
TEST_F(FullDisk, NothingFitsEveryStepFailsAndTheStoreKeepsItsContent) {
    ASSERT_EQ(w.kvctl(send).exitCode, 0);
    const auto before = test::masterTables(w.storePath);
    ASSERT_GT(before.value(QStringLiteral("MA_CLIENTES")).size(), 0);

    const test::ToolRun r = kvctlLimited(w, send, 4096);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(failedSteps(r).size(), 13) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("No se completaron los pasos de la exportación")))
        << r.err.toStdString();
    EXPECT_EQ(test::masterTables(w.storePath), before);
    EXPECT_EQ(test::integrity(w.storePath), QStringLiteral("ok"));
}

// Room for part of the export: the store held a small device's data; the next send fills the
// freed pages and then meets the limit. The steps before are whole, the failing step's table is
// as that step found it, and with room again the send completes.
TEST_F(FullDisk, TheStepThatMeetsTheLimitEndsInErrorAndLeavesItsTableAsBefore) {
    w.setDevice(1, settings::Reparto, w.vendors().first());
    ASSERT_EQ(w.kvctl(send).exitCode, 0);
    w.setDevice(1, settings::Reparto, QString()); // now every client
    const qint64 size = QFileInfo(w.storePath).size();

    const test::ToolRun r = kvctlLimited(w, send, size + 16 * 1024);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QStringList failed = failedSteps(r);
    ASSERT_FALSE(failed.isEmpty()) << "the limit was never met: " << r.err.toStdString();
    EXPECT_FALSE(failed.contains(QStringLiteral("PRE_EXPORTACION")));
    const auto afterFault = test::masterCounts(w.storePath);
    EXPECT_EQ(test::integrity(w.storePath), QStringLiteral("ok"));

    ASSERT_EQ(w.kvctl(send).exitCode, 0);
    const auto complete = test::masterCounts(w.storePath);
    for (auto it = complete.cbegin(); it != complete.cend(); ++it) {
        const bool stepFailed = std::any_of(failed.cbegin(), failed.cend(),
                                            [&](const QString& s) { return tableOf(s) == it.key(); });
        // The delete step emptied every table: a failed step leaves its table empty.
        EXPECT_EQ(afterFault.value(it.key()), stepFailed ? 0 : it.value()) << it.key().toStdString();
    }
}

} // namespace
