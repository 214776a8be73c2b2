#include "Command.h"

#include "app/AppHome.h"
#include "app/EscapedError.h"
#include "app/LaunchSource.h"
#include "app/Operator.h"

namespace kv::cli {

namespace {

void printHelp(QTextStream& out) {
    out << "Usage: kvctl [--home DIR] [--launch \"LAUNCH STRING\"] [--on-error abort|retry|ignore] COMMAND ...\n"
           "\n"
           "The handheld control module without windows: the operator's commands for scripts,\n"
           "schedulers and remote shells.\n"
           "\n"
           "Options:\n"
           "  --home DIR         application folder (default $KVCONTROL_HOME, else\n"
           "                     $XDG_DATA_HOME/kvcontrol or ~/.local/share/kvcontrol)\n"
           "  --launch STRING    the launch string with the ERP connection (\"@Server=...;@DbName=...;\")\n"
           "  --launch-file FILE\n"
           "                     the launch string from an owner-only file (else $KVCONTROL_LAUNCH);\n"
           "                     without @Password, $KVCONTROL_PASSWORD gives it\n"
           "  --on-error POLICY  answer to error prompts: abort (default), retry or ignore\n"
           "  -h, --help         this help\n"
           "\n"
           "Commands:\n";
    for (const auto& c : allCommands()) {
        QString line = c->name();
        if (!c->arguments().isEmpty()) line += QLatin1Char(' ') + c->arguments();
        // A long synopsis gets the summary on its own line, so the columns stay aligned.
        if (line.size() > 34) out << "  " << line << "\n  " << QString(35, QLatin1Char(' ')) << c->summary() << '\n';
        else out << "  " << line.leftJustified(34) << ' ' << c->summary() << '\n';
    }
    out << "\nExit status: 0 when the command did its job, non-zero otherwise (reason on stderr).\n";
    out.flush();
}

} // namespace

int runKvctl(const QStringList& arguments, QTextStream& out, QTextStream& err, QTextStream& in, bool interactive) {
    TerminalOperator person(out, err, in, interactive);
    QString launch, launchFile;
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        auto value = [&](QString* target) {
            if (i + 1 >= arguments.size()) {
                err << "kvctl: " << a << " needs a value\n";
                return false;
            }
            *target = arguments.at(++i);
            return true;
        };
        if (!rest.isEmpty()) {
            rest << a;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            printHelp(out);
            return 0;
        } else if (a == QLatin1String("--home")) {
            QString dir;
            if (!value(&dir)) return 2;
            AppHome::set(dir);
        } else if (a == QLatin1String("--launch")) {
            if (!value(&launch)) return 2;
        } else if (a == QLatin1String("--launch-file")) {
            if (!value(&launchFile)) return 2;
        } else if (a == QLatin1String("--on-error")) {
            QString p;
            if (!value(&p)) return 2;
            TerminalOperator::OnError policy;
            if (!TerminalOperator::parseOnError(p, &policy)) {
                err << "kvctl: --on-error takes abort, retry or ignore, not \"" << p << "\"\n";
                return 2;
            }
            person.setOnError(policy);
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "kvctl: unknown option " << a << " (see kvctl --help)\n";
            return 2;
        } else {
            rest << a;
        }
    }
    if (rest.isEmpty()) {
        printHelp(err);
        return 2;
    }

    // The command with the most words that match the start of what was typed.
    Command* chosen = nullptr;
    auto commands = allCommands();
    for (const auto& c : commands) {
        const QStringList w = c->words();
        if (rest.size() >= w.size() && rest.mid(0, w.size()) == w &&
            (!chosen || w.size() > chosen->words().size()))
            chosen = c.get();
    }
    if (!chosen) {
        err << "kvctl: unknown command \"" << rest.join(QLatin1Char(' ')) << "\" (see kvctl --help)\n";
        return 2;
    }
    const QStringList args = rest.mid(chosen->words().size());
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << "Usage: kvctl " << chosen->name() << ' ' << chosen->arguments() << "\n" << chosen->summary() << '\n';
        return 0;
    }

    const ResolvedLaunch resolved = resolveLaunch({launch, launchFile});
    if (!resolved.error.isEmpty()) {
        err << "kvctl: " << resolved.error << '\n';
        return 1;
    }

    Operator* previous = &op();
    setOperator(&person);
    Context ctx{out, err, person, resolved.text};
    int status;
    try {
        status = chosen->execute(args, ctx);
    } catch (...) {
        // No trap took it: the reason on stderr, never an abort.
        status = ReportarError(ctx.err, std::current_exception(), QStringLiteral("kvctl ") + chosen->name());
    }
    setOperator(previous == &person ? nullptr : previous);
    out.flush();
    err.flush();
    return status;
}

} // namespace kv::cli
