#include "CliApp.h"

#include "ExitCodes.h"
#include "app/AppHome.h"

#include <sstream>
#include <vector>

namespace kv::cli {

QString programVersion() {
    return QStringLiteral("%1.%2.%3").arg(KV_VERSION_MAJOR).arg(KV_VERSION_MINOR).arg(KV_VERSION_PATCH);
}

QString exitStatusTable() {
    return QStringLiteral("Exit status: 0 done, 1 failed (reason on stderr), 2 wrong arguments,\n"
                          "3 cancelled or timed out.");
}

CliApp::CliApp(const QString& tool, const QString& description) : m_tool(tool), m_app(toStd(description), toStd(tool)) {
    m_app.set_help_all_flag("--help-all", "this help with every command's options");
    m_app.set_version_flag("--version", toStd(tool + QLatin1Char(' ') + programVersion()));
    m_app.add_option("--home", m_home,
                     "application folder (default $KVCONTROL_HOME, else $XDG_DATA_HOME/kvcontrol or "
                     "~/.local/share/kvcontrol)")
        ->option_text("DIR");
    m_app.footer(toStd(exitStatusTable()));
    m_app.get_formatter()->column_width(24);
}

CLI::App* CliApp::command(const QString& name, const QString& summary) {
    CLI::App* sub = m_app.add_subcommand(toStd(name), toStd(summary));
    sub->fallthrough();
    return sub;
}

std::optional<int> CliApp::parse(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    // "help CMD" reads as "CMD --help"; "help" alone as "--help".
    if (!args.isEmpty() && args.first() == QLatin1String("help")) {
        args.removeFirst();
        args << QStringLiteral("--help");
    }
    // A mistyped command is named as such, not as a missing one.
    const std::vector<CLI::App*> commands = m_app.get_subcommands({});
    auto known = [&](const QString& word) {
        for (const CLI::App* c : commands)
            if (c->check_name(toStd(word))) return true;
        return false;
    };
    if (!commands.empty()) {
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--home")) ++i;
            else if (args[i].startsWith(QLatin1Char('-'))) continue;
            else if (!known(args[i])) {
                err << m_tool << ": unknown command \"" << args[i] << "\" (see " << m_tool << " --help)\n";
                err.flush();
                return exitcode::Usage;
            } else break;
        }
    }
    std::vector<std::string> words{toStd(m_tool)};
    for (const QString& a : args) words.push_back(toStd(a));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    try {
        m_app.parse(int(argv.size()), argv.data());
    } catch (const CLI::Success& e) {
        std::ostringstream o, r;
        m_app.exit(e, o, r);
        out << fromStd(o.str());
        out.flush();
        return exitcode::Done;
    } catch (const CLI::ParseError& e) {
        // The usage line of the command that was being read, then where the whole help is.
        const std::vector<CLI::App*> chosen = m_app.get_subcommands();
        const CLI::App& at = chosen.empty() ? m_app : *chosen.front();
        QString usageLine;
        for (const QString& line : fromStd(chosen.empty() ? at.help() : at.help(toStd(m_tool))).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("Usage:"))) usageLine = line;
        err << m_tool << ": " << fromStd(e.what()) << '\n' << usageLine << '\n';
        err.flush();
        return exitcode::Usage;
    }
    if (!m_home.empty()) AppHome::set(fromStd(m_home));
    return std::nullopt;
}

} // namespace kv::cli
