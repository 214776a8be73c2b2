#pragma once

#include "app/TerminalOperator.h"
#include "CliApp.h"
#include "ExitCodes.h"

#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kv::cli {

// What a command works with: its output streams, the terminal operator, the global options, and
// its own place on the command line (for the usage line of a wrong value).
struct Context {
    QTextStream& out;
    QTextStream& err;
    TerminalOperator& person;
    QString launch; // the launch string (--launch, --launch-file or $KVCONTROL_LAUNCH)
    bool quiet = false;
    const CliApp* cli = nullptr;
    const CLI::App* command = nullptr;

    // "kvctl CMD: WHY" and the command's usage line; returns the usage exit status.
    int usage(const QString& why) const;
};

// One kvctl subcommand: its words ("store init"), its own arguments and options declared on its
// CLI11 command, and execute() returning the process exit status (see ExitCodes.h).
class Command {
public:
    virtual ~Command() = default;
    virtual QStringList words() const = 0;
    virtual QString summary() const = 0;
    virtual void define(CLI::App& command) { (void)command; }
    virtual int execute(Context& ctx) = 0;

    QString name() const { return words().join(QLatin1Char(' ')); }
};

// A whole number of seconds from 1, as every SECONDS of the command line is; nullopt otherwise.
std::optional<int> secondsValue(const std::string& text);

// "--timeout SECONDS" of a job that waits: a limit for the whole command, for schedulers.
// apply() starts it, false (with the usage on stderr) when SECONDS is not a whole number from 1.
struct TimeoutOption {
    std::string seconds;
    void define(CLI::App& command);
    bool apply(Context& ctx) const;
};

// "--format" of a command that prints for scripts too: one of `allowed`, the first the default.
struct FormatOption {
    QStringList allowed;
    std::string given;
    void define(CLI::App& command);
    // The format asked for; empty (with the usage on stderr) when it is none of `allowed`.
    QString value(Context& ctx) const;
};

// The refusal of a wait while another one is under way in the application folder.
void sayBusy(Context& ctx, const QString& command);

// Every command kvctl knows, in the order --help lists them.
std::vector<std::unique_ptr<Command>> allCommands();
// The first word of commands of several words, and what --help says of the group.
QList<QPair<QString, QString>> commandGroups();

// kvctl's whole behaviour: global options, dispatch, help and exit status.
int runKvctl(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in,
             bool interactive);

} // namespace kv::cli
