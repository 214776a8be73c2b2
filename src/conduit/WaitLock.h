#pragma once

#include "app/AtomicFile.h"

#include <memory>

namespace kv {

// One wait for a sync per application folder: a send (from its export), a receive, a conduit
// wait, each from registering the conduit until it is switched off or the wait is abandoned.
// A second one would re-register the conduit under the first one's wait, so it is refused and
// changes nothing.
QString waitLockName();

// The lock, or nullptr after telling the operator that another one is under way.
std::unique_ptr<FileLock> TomarEspera(const QString& procedure);

} // namespace kv
