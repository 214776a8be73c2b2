#include "CliApp.h"

#include "app/AppHome.h"
#include "ExitCodes.h"

#include <sstream>
#include <vector>

namespace kv::cli {

QString programVersion() {
    return QStringLiteral("%1.%2.%3").arg(KV_VERSION_MAJOR).arg(KV_VERSION_MINOR).arg(KV_VERSION_PATCH);
}

QString exitStatusTable() {
    return QString::fromLatin1(exitcode::Table);
}

namespace {

// --help-all (and the man pages made from it) gives each command as "TOOL CMD WORDS:" on a line
// of its own, then its description, arguments and options indented: the layout help2man makes a
// subsection of, instead of running the command's name and its text together. A group gives its
// commands so.
class ExpandedFormatter : public CLI::Formatter {
public:
    std::string make_expanded(const CLI::App* sub) const override {
        const std::vector<const CLI::App*> commands = sub->get_subcommands({});
        if (!commands.empty()) {
            std::string all;
            for (const CLI::App* c : commands) all += make_expanded(c) + "\n";
            return all;
        }
        // The headings of the lists ("Options:") would run into the description.
        std::string body;
        std::istringstream lines(make_description(sub) + make_positionals(sub) + make_groups(sub, CLI::AppFormatMode::Sub));
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line != "Options:" && line != "Positionals:") body += "  " + line + "\n";
        std::string path;
        for (const CLI::App* at = sub; at; at = at->get_parent()) path = at->get_name() + (path.empty() ? "" : " ") + path;
        return "\n" + path + ":\n" + body;
    }
};

} // namespace

CliApp::CliApp(const QString& tool, const QString& description) : m_tool(tool), m_app(toStd(description), toStd(tool)) {
    m_app.formatter(std::make_shared<ExpandedFormatter>());
    m_app.set_help_all_flag("--help-all", "this help with every command's options");
    m_app.set_version_flag("--version", toStd(tool + QLatin1Char(' ') + programVersion()));
    m_app.add_option("--home", m_home,
                     "application folder (default $KVCONTROL_HOME, else $XDG_DATA_HOME/kvcontrol or "
                     "~/.local/share/kvcontrol)")
        ->type_name("DIR");
    m_app.footer(toStd(exitStatusTable()));
    m_app.get_formatter()->column_width(24);
}

CLI::App* CliApp::command(const QStringList& words, const QString& summary) {
    CLI::App* at = &m_app;
    for (int i = 0; i < words.size(); ++i) {
        const std::string word = toStd(words.at(i));
        CLI::App* next = nullptr;
        for (CLI::App* c : at->get_subcommands([](CLI::App*) { return true; }))
            if (c->get_name() == word) next = c;
        if (!next) {
            next = at->add_subcommand(word, i + 1 == words.size() ? toStd(summary) : std::string());
            next->fallthrough();
            next->footer(toStd(exitStatusTable()));
        }
        if (i + 1 < words.size()) next->require_subcommand(1);
        at = next;
    }
    return at;
}

QString CliApp::path(const CLI::App& command) const {
    QStringList words;
    for (const CLI::App* at = &command; at; at = at->get_parent()) words.prepend(fromStd(at->get_name()));
    return words.join(QLatin1Char(' '));
}

QString CliApp::usageLine(const CLI::App& command) const {
    const CLI::App* parent = command.get_parent();
    const std::string help = parent ? command.help(toStd(path(*parent))) : command.help();
    for (const QString& line : fromStd(help).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Usage:"))) return line;
    return QString();
}

int CliApp::usageError(const CLI::App& command, const QString& why, QTextStream& err) const {
    err << path(command) << ": " << why << '\n' << usageLine(command) << '\n';
    err.flush();
    return exitcode::Usage;
}

namespace {

// Whether `word` is an option of `command` or of a command above it that takes the next word as
// its value.
bool takesValue(CLI::App& command, const QString& word) {
    if (word.contains(QLatin1Char('='))) return false;
    for (CLI::App* scope = &command; scope; scope = scope->get_parent())
        if (const CLI::Option* option = scope->get_option_no_throw(toStd(word)))
            return option->get_items_expected_min() > 0;
    return false;
}

// Whether `word` names an option (not a negative number or a lone "-").
bool looksLikeOption(const QString& word) {
    const qsizetype start = word.startsWith(QLatin1String("--")) ? 2 : 1;
    return word.startsWith(QLatin1Char('-')) && word.size() > start && word.at(start).isLetter();
}

// Whether `command` or a command above it knows the option `word` ("--name", "--name=value", "-q").
bool knownOption(CLI::App& command, const QString& word) {
    const std::string name = toStd(word.section(QLatin1Char('='), 0, 0));
    for (CLI::App* scope = &command; scope; scope = scope->get_parent())
        if (scope->get_option_no_throw(name)) return true;
    return false;
}

} // namespace

// The words are read here first, so a mistyped command is named as such rather than as a missing
// one or a stray argument, and an unknown option rather than the argument it displaced.
std::optional<int> CliApp::refuseUnknownWords(const QStringList& args, QTextStream& err) {
    CLI::App* at = &m_app;
    std::optional<QString> unknownOption;
    bool help = false;
    bool arguments = false; // past the command's words: the rest are its arguments and options
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--")) break;
        if (a.startsWith(QLatin1Char('-'))) {
            if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--help-all")) help = true;
            if (looksLikeOption(a) && !knownOption(*at, a) && !unknownOption) unknownOption = a;
            if (takesValue(*at, a)) ++i;
            continue;
        }
        if (arguments) continue;
        const std::vector<CLI::App*> commands = at->get_subcommands([](CLI::App*) { return true; });
        if (commands.empty()) {
            arguments = true;
            continue;
        }
        CLI::App* next = nullptr;
        for (CLI::App* c : commands)
            if (c->check_name(toStd(a))) next = c;
        if (!next) {
            const QString typed = at == &m_app ? a : path(*at).section(QLatin1Char(' '), 1) + QLatin1Char(' ') + a;
            err << m_tool << ": unknown command \"" << typed << "\" (see " << m_tool << " --help)\n";
            err.flush();
            return exitcode::Usage;
        }
        at = next;
    }
    // An option of the command named before the command's words is still its own.
    if (unknownOption && !help && !knownOption(*at, *unknownOption))
        return usageError(*at, QStringLiteral("The following argument was not expected: %1").arg(*unknownOption), err);
    return std::nullopt;
}

std::optional<int> CliApp::parse(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    // "help CMD" reads as "CMD --help"; "help" alone as "--help".
    for (int i = 0; i < args.size(); ++i) {
        if (!args.at(i).startsWith(QLatin1Char('-'))) {
            if (args.at(i) == QLatin1String("help")) {
                args.removeAt(i);
                args << QStringLiteral("--help");
            }
            break;
        }
        if (takesValue(m_app, args.at(i))) ++i;
    }
    if (const std::optional<int> refused = refuseUnknownWords(args, err)) return refused;
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
        // The reason, named by the command that was being read, and that command's usage line.
        const CLI::App* at = &m_app;
        while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
        QString why = fromStd(e.what());
        const QString prefix = m_tool + QStringLiteral(": ");
        if (why.startsWith(prefix)) why = why.mid(prefix.size());
        return usageError(*at, why, err);
    }
    if (!m_home.empty()) AppHome::set(fromStd(m_home));
    return std::nullopt;
}

} // namespace kv::cli
