#include "Command.h"

#include "app/EscapedError.h"
#include "app/Interruption.h"
#include "app/LaunchSource.h"
#include "app/LockWaits.h"
#include "app/Operator.h"
#include "ExitCodes.h"

#include <map>

namespace kv::cli {

int runKvctl(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in, bool interactive) {
    CliApp cli(QStringLiteral("kvctl"),
               QStringLiteral("The handheld control module without windows: the operator's commands for scripts,\n"
                              "schedulers and remote shells. `kvctl help COMMAND` tells one command's options."));
    CLI::App& app = cli.app();
    app.require_subcommand(1);
    std::string launch, launchFile, onError, lockTimeout, importLockTimeout;
    bool quiet = false;
    app.add_option("--launch", launch, "the launch string with the ERP connection (\"@Server=...;@DbName=...;\")")
        ->type_name("STRING");
    app.add_option("--launch-file", launchFile,
                   "the launch string from an owner-only file (else $KVCONTROL_LAUNCH); without @Password, "
                   "$KVCONTROL_PASSWORD gives it")
        ->type_name("FILE");
    app.add_option("--on-error", onError, "answer to error prompts: abort (default), retry or ignore")
        ->type_name("POLICY");
    app.add_option("--lock-timeout", lockTimeout,
                   "how long a statement waits for a row, table or file of the ERP another program keeps "
                   "locked (default: the settings' LockTimeout, else 10)")
        ->type_name("SECONDS");
    app.add_option("--import-lock-timeout", importLockTimeout,
                   "how long a receive waits for another workstation's import of the same ERP (default: the "
                   "settings' ImportLockTimeout, else 120)")
        ->type_name("SECONDS");
    app.add_flag("-q,--quiet", quiet, "no progress lines (a send's steps, a wait's status): errors and results only");

    const std::vector<std::unique_ptr<Command>> commands = allCommands();
    std::map<const CLI::App*, Command*> byApp;
    for (const auto& c : commands) {
        CLI::App* sub = cli.command(c->words(), c->summary());
        c->define(*sub);
        byApp[sub] = c.get();
    }
    for (const auto& [group, summary] : commandGroups()) app.get_subcommand(toStd(group))->description(toStd(summary));
    if (const std::optional<int> status = cli.parse(arguments, out, err)) return *status;

    TerminalOperator person(out, err, in, interactive);
    if (!onError.empty()) {
        TerminalOperator::OnError policy;
        if (!TerminalOperator::parseOnError(fromStd(onError), &policy))
            return cli.usageError(app, QStringLiteral("--on-error takes abort, retry or ignore, not \"%1\"")
                                           .arg(fromStd(onError)),
                                  err);
        person.setOnError(policy);
    }
    person.setQuiet(quiet);
    std::optional<int> waits[2];
    const std::pair<const std::string*, const char*> given[2] = {{&lockTimeout, "--lock-timeout"},
                                                                 {&importLockTimeout, "--import-lock-timeout"}};
    for (int i = 0; i < 2; ++i) {
        if (given[i].first->empty()) continue;
        waits[i] = secondsValue(*given[i].first);
        if (!waits[i])
            return cli.usageError(app, QStringLiteral("%1 needs a whole number of seconds from 1, not \"%2\"")
                                           .arg(QLatin1String(given[i].second), fromStd(*given[i].first)),
                                  err);
    }
    overrideLockWaits(waits[0], waits[1]);

    const CLI::App* chosen = &app;
    while (!chosen->get_subcommands().empty()) chosen = chosen->get_subcommands().front();
    Command* command = byApp.at(chosen);

    const ResolvedLaunch resolved = resolveLaunch({fromStd(launch), fromStd(launchFile)});
    if (!resolved.error.isEmpty()) {
        err << "kvctl: " << resolved.error << '\n';
        return exitcode::Failed;
    }

    Operator* previous = &op();
    setOperator(&person);
    Context ctx{out, err, person, resolved.text, quiet, &cli, chosen};
    int status;
    interruption::reset();
    try {
        status = command->execute(ctx);
    } catch (const Interrupted& stopped) {
        // The job has rolled back what it had under way and recorded itself.
        ctx.err << "kvctl " << command->name() << ": " << stopped.reason() << '\n';
        status = exitcode::Cancelled;
    } catch (...) {
        // No trap took it: the reason on stderr, never an abort.
        status = ReportarError(ctx.err, std::current_exception(), QStringLiteral("kvctl ") + command->name());
    }
    interruption::reset();
    setOperator(previous == &person ? nullptr : previous);
    out.flush();
    err.flush();
    return status;
}

} // namespace kv::cli
