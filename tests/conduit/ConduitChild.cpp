// A second process for the conduit tests: holds the sync lock, or changes the registry, the way
// another program on the same workstation would.
//
//   conduit_child hold FOLDER                 take the sync lock and record a sync begun under
//                                             the conduit's registration, print "held", keep it
//                                             until standard input closes (then record it copied)
//                                             or the process is killed
//   conduit_child add-tables FOLDER PREFIX N  register the conduit and N tables PREFIX_0 ...
//   conduit_child limited-write FOLDER BYTES  add one table with the file size limited to BYTES;
//                                             prints the result code
#include "conduit/FileConduitConfig.h"
#include "conduit/SyncMonitor.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

using namespace kv;

namespace {

int hold(const QString& folder) {
    auto lock = SyncLock::tryTake(std::chrono::seconds(5), folder);
    if (!lock) return 3;
    ConduitRegistration conduit;
    FileConduitConfig(folder).ReadConduit(QStringLiteral("KVGMovil"), &conduit);
    lock->began(conduit.generation);
    std::printf("held\n");
    std::fflush(stdout);
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
    lock->ended(true);
    return 0;
}

int addTables(const QString& folder, const QString& prefix, int count) {
    FileConduitConfig library(folder);
    ConduitRecord conduit;
    conduit.name = QStringLiteral("KVGMovil");
    int failures = library.AddUpdateConduit(conduit) != uc::Ok;
    for (int i = 0; i < count; ++i) {
        TableRecord t;
        t.name = QStringLiteral("%1_%2").arg(prefix).arg(i);
        t.transferCode = transfer::ToHandheld;
        t.keySpec = QStringLiteral("0:ID");
        if (const qint32 code = library.AddUpdateTable(conduit.name, t); code != uc::Ok) {
            std::printf("%s: %d\n", qPrintable(t.name), code);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

int limitedWrite(const QString& folder, long bytes) {
    std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the process
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    TableRecord t;
    t.name = QStringLiteral("TA_NUEVA");
    t.transferCode = transfer::ToHandheld;
    t.keySpec = QStringLiteral("0:IDNUEVA");
    std::printf("%d\n", FileConduitConfig(folder).AddUpdateTable(QStringLiteral("KVGMovil"), t));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString command = argc > 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (command == QLatin1String("hold") && argc == 3) return hold(folder);
    if (command == QLatin1String("add-tables") && argc == 5)
        return addTables(folder, QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    if (command == QLatin1String("limited-write") && argc == 4)
        return limitedWrite(folder, std::atol(argv[3]));
    std::fprintf(stderr, "usage: conduit_child hold|add-tables|limited-write FOLDER ...\n");
    return 2;
}
