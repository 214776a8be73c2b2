#pragma once

#include <optional>

namespace kv {

// How long the program waits for what other programs hold on the ERP database before it gives
// up with the reason: a row, a table or the file another program keeps locked (`lock`), and
// another workstation's import of the same ERP (`import`, longer: an import takes a while).
// From CN000pr.INI, section "General", keys "LockTimeout" and "ImportLockTimeout" (whole seconds
// from 1), unless a command line overrode them; the defaults otherwise.
struct LockWaits {
    int lock;
    int import;
};
LockWaits lockWaits();

// The command line's values, kept for the program's run (nullopt: the settings decide).
void overrideLockWaits(std::optional<int> lock, std::optional<int> import);

} // namespace kv
