#pragma once

#include <QStringList>

namespace kv {

class FrmControl;

// Wires the console's toolbar to the program's commands: the device parameters dialog, the send
// command and the sync run.
void connectConsoleCommands(FrmControl& console);

// The console program: start-up from the launch string (the whole command line), then the
// console until it is closed. Returns the process exit status.
int runConsole(const QStringList& arguments);

} // namespace kv
