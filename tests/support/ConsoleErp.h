#pragma once

#include "TestEnv.h"

namespace kv::test {

// Opens, as the program's ERP connection, a small SQLite ERP in the home folder whose
// configuration table declares `devices` handhelds (GM_CANT_DISPOSITIVOS); false when it fails.
bool openConsoleErp(const TempHome& home, int devices);

} // namespace kv::test
