#include "ExchangeWorker.h"

#include "app/AtomicFile.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "app/Startup.h"
#include "app/TerminalOperator.h"
#include "CliApp.h"
#include "data/DB_Dll.h"
#include "cradle/FleetExchange.h"
#include "ExitCodes.h"

#include <csignal>
#include <cstring>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <sys/prctl.h>
#include <unistd.h>

namespace kv {

bool isExchangeWorker(int argc, char** argv) {
    return argc > 1 && std::strcmp(argv[1], "--exchange-worker") == 0;
}

int exchangeWorkerMain(int argc, char** argv) {
    // A worker whose cradle is gone has no one to answer: it ends with it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1) return cli::exitcode::Failed;
    QCoreApplication app(argc, argv);
    CLI::App cli("one exchange of the network cradle");
    std::string folder;
    int device = 0, workSeconds = 120;
    cli.add_option("--exchange-worker", folder)->required();
    cli.add_option("--exchange-device", device)->required()->check(CLI::Range(1, 1000000));
    cli.add_option("--work-seconds", workSeconds)->check(CLI::Range(1, 86400));
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    // Messages meant for an operator go to the worker's log (standard error, a file of the
    // request's folder); nobody answers, so every question counts as cancelled.
    QTextStream log(stderr);
    QTextStream none(stdin);
    TerminalOperator nobody(log, log, none, false);
    nobody.setQuiet(true);
    setOperator(&nobody);
    const QString launch = qEnvironmentVariable("KVCONTROL_LAUNCH");
    const QString dir = QString::fromStdString(folder);
    ExchangeReport report;
    if (!LeerParametrosInicio(launch, QString(), 3, false)) {
        report.stage = ExchangeReport::Stage::Erp;
        report.errorText = QStringLiteral("the ERP database named by the launch string could not be opened");
        report.device = device;
    } else {
        report = runExchange(device, dir, std::chrono::seconds(workSeconds));
    }
    log.flush();
    try {
        writeFileAtomically(QDir(dir).filePath(QStringLiteral("report.json")), reportFile(report), 0600);
    } catch (const RunTimeError& e) {
        log << "kvcradle exchange: cannot write its report: " << e.description() << '\n';
        return cli::exitcode::Failed;
    }
    return cli::exitcode::Done;
}

} // namespace kv
