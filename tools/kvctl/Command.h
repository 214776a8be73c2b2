#pragma once

#include "app/TerminalOperator.h"

#include <QStringList>
#include <QTextStream>
#include <memory>
#include <vector>

namespace kv::cli {

// What a command works with: its output streams, the terminal operator, and the global options.
struct Context {
    QTextStream& out;
    QTextStream& err;
    TerminalOperator& person;
    QString launch; // the launch string given with --launch
};

// One kvctl subcommand: its words ("store init"), a usage line, and execute() returning the
// process exit status (0 when the command did its job).
class Command {
public:
    virtual ~Command() = default;
    virtual QStringList words() const = 0;
    virtual QString arguments() const { return QString(); }
    virtual QString summary() const = 0;
    virtual int execute(const QStringList& args, Context& ctx) = 0;

    QString name() const { return words().join(QLatin1Char(' ')); }
};

// Takes "--timeout SECONDS" out of a waiting command's arguments and sets the wait's limit;
// false, with the usage on stderr, when SECONDS is not a whole number from 1.
bool takeTimeout(QStringList& args, Context& ctx, const QString& command);

// The refusal of a wait while another one is under way in the application folder.
void sayBusy(Context& ctx, const QString& command);

// Every command kvctl knows, in the order --help lists them.
std::vector<std::unique_ptr<Command>> allCommands();

// kvctl's whole behaviour: global options, dispatch, help and exit status.
int runKvctl(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in,
             bool interactive);

} // namespace kv::cli
