#pragma once

#include <CLI/CLI.hpp>

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>
#include <string>

namespace kv::cli {

// One tool's command line: CLI11 with the conventions all the tools keep. `--version` prints
// "TOOL VERSION"; `--home DIR` sets the application folder wherever it stands; `help CMD` is
// `CMD --help`; an unknown option or a missing value is a usage error: "TOOL: WHY", the usage
// line, exit 2. The footer of every help ends with the exit-status table.
class CliApp {
public:
    CliApp(const QString& tool, const QString& description);

    CLI::App& app() { return m_app; }
    // A subcommand that takes the global options after its own words too.
    CLI::App* command(const QString& name, const QString& summary);

    // Parses; nullopt when the command is to run, else the exit status (help, version, usage).
    std::optional<int> parse(const QStringList& arguments, QTextStream& out, QTextStream& err);

private:
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

// The version of every tool, from the project's one version number.
QString programVersion();
// The lines every --help ends with.
QString exitStatusTable();

} // namespace kv::cli
