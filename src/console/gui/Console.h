#pragma once

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace kv {

class FrmControl;
class WindowOperator;

// Wires the console's toolbar to the program's commands: the device parameters dialog, the send
// command and the sync run. An error no command traps is shown and the console goes on.
void connectConsoleCommands(FrmControl& console);

// The console's operator: its windows open over the console, and closing the console while a
// command runs makes the command give up its wait.
void connectConsoleOperator(FrmControl& console, WindowOperator& person);
// kvcontrol's command line: its own options, and the launch string made of the rest.
struct ConsoleCommandLine {
    enum class Action { Open, Help, Version, Mistyped };
    Action action = Action::Open;
    QString home;       // --home DIR
    QString launchFile; // --launch-file FILE
    QStringList launch; // the launch string's parts
    QString mistyped;   // what was not understood
};
// Qt's own options (even written "--platform") are left to Qt; any other word starting with "--"
// is a mistake, not part of a launch string.
ConsoleCommandLine readConsoleCommandLine(const QStringList& arguments);
// Answers --help and --version (status 0) and a mistyped option (status 2, reason on err):
// nothing here needs a display. nullopt when the console is to open.
std::optional<int> answerConsoleCommandLine(const ConsoleCommandLine& line, QTextStream& out, QTextStream& err);

// The console program: start-up from the launch string (the whole command line), then the
// console until it is closed. Returns the process exit status.
int runConsole(const QStringList& arguments);

} // namespace kv
