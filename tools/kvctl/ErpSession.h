#pragma once

#include "Command.h"

namespace kv::cli {

// Runs the program's start-up for a command that works on the ERP database: the launch string
// of --launch, the ERP connection (no dialog without a terminal), and the local sync store when
// asked. Prints the reason and returns false when the command cannot go on.
// `writeFiles` false: nothing is written (no lookup map file is created).
bool startSession(Context& ctx, bool withStore, bool writeFiles = true);

// A device number argument: 1 to the device count. Prints the reason and the usage line and
// returns 0 otherwise.
int deviceArgument(const std::string& text, Context& ctx);

// The required device number argument N of a command.
void defineDevice(CLI::App& command, std::string& device);

} // namespace kv::cli
