#pragma once

#include <QStringList>

namespace kv {

class FrmControl;
class WindowOperator;

// Wires the console's toolbar to the program's commands: the device parameters dialog, the send
// command and the sync run.
void connectConsoleCommands(FrmControl& console);

// The console's operator: its windows open over the console, and closing the console while a
// command runs makes the command give up its wait.
void connectConsoleOperator(FrmControl& console, WindowOperator& person);

// The console program: start-up from the launch string (the whole command line), then the
// console until it is closed. Returns the process exit status.
int runConsole(const QStringList& arguments);

} // namespace kv
