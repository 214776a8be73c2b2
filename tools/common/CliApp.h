#pragma once

#include <CLI/CLI.hpp>

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>
#include <string>

namespace kv::cli {

// One tool's command line: CLI11 with the conventions all the tools keep. `--version` prints
// "TOOL VERSION"; `--home DIR` sets the application folder wherever it stands; options of the
// tool may stand before or after the command's words; `help CMD` is `CMD --help`; an unknown
// command or option, a missing or a wrong value is a usage error: "TOOL CMD: WHY", the usage
// line, exit 2. The footer of every help ends with the exit-status table.
class CliApp {
public:
    CliApp(const QString& tool, const QString& description);

    CLI::App& app() { return m_app; }
    // A command of one or more words ("store init"); the first words become groups of commands.
    // It takes the tool's options after its own words too.
    CLI::App* command(const QStringList& words, const QString& summary);
    CLI::App* command(const QString& name, const QString& summary) { return command(QStringList{name}, summary); }

    // Parses; nullopt when the command is to run, else the exit status (help, version, usage).
    std::optional<int> parse(const QStringList& arguments, QTextStream& out, QTextStream& err);

    // "TOOL CMD WORDS" of a command, and its "Usage: ..." line.
    QString path(const CLI::App& command) const;
    QString usageLine(const CLI::App& command) const;
    // A usage error found after parsing (a value of the wrong shape): "PATH: WHY", the usage
    // line; returns the exit status for it.
    int usageError(const CLI::App& command, const QString& why, QTextStream& err) const;

private:
    std::optional<int> refuseUnknownWords(const QStringList& args, QTextStream& err);

    QString m_tool;
    CLI::App m_app;
    std::string m_home;
};

inline std::string toStd(const QString& s) {
    return s.toStdString();
}
inline QString fromStd(const std::string& s) {
    return QString::fromStdString(s);
}

// A word of a command's line (its name in capitals: "FILE"), listed by name alone in its help.
template <typename T> CLI::Option* argument(CLI::App& command, const char* name, T& value, const char* what) {
    return command.add_option(name, value, what)->type_name("");
}

// The version of every tool, from the project's one version number.
QString programVersion();
// The lines every --help ends with.
QString exitStatusTable();

} // namespace kv::cli
